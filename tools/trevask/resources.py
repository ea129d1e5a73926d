"""TREVASK.EXE's resources, as the tools and tests read them: the numbers that
res/resource.h gives them, and what an executable or a compiled .res carries.
"""
import os
import re
import struct
import types

import pefile  # Debian's python3-pefile

from trevask import ROOT

RESOURCE_HEADER = os.path.join(ROOT, "res", "resource.h")
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 6, 14, 24
ENGLISH_US = 1033
BUTTON_CLASS = 0x80  # the ordinal of the predefined button class in a dialog template


def resource_ids(path=RESOURCE_HEADER):
    """The IDD_, IDS_, IDC_ and IDI_ names of resource.h, as attributes: ids.IDD_CONFIRMATION."""
    with open(path) as header:
        pairs = re.findall(r"^#define\s+(ID[DSCI]_\w+)\s+(\d+)\s*$", header.read(), re.MULTILINE)
    return types.SimpleNamespace(**{name: int(value) for name, value in pairs})


IDS = resource_ids()


def _read_name(data, pos):
    """A name or ordinal of a resource header or a dialog template: (value, position after it)."""
    first = struct.unpack_from("<H", data, pos)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    if first == 0:
        return 0, pos + 2
    end = pos
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def entries_of_exe(pe):
    """{(type, name, language): bytes} of an executable's resources."""
    entries = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                key = (rtype.id if rtype.name is None else str(rtype.name),
                       name.id if name.name is None else str(name.name), lang.id)
                entries[key] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return entries


def entries_of_res(path):
    """{(type, name, language): bytes} of a compiled .res file (its empty first entry left out)."""
    with open(path, "rb") as f:
        data = f.read()
    entries, pos = {}, 0
    while pos < len(data):
        size, header = struct.unpack_from("<II", data, pos)
        rtype, at = _read_name(data, pos + 8)
        name, at = _read_name(data, at)
        at += (4 - (at - pos) % 4) % 4
        lang = struct.unpack_from("<H", data, at + 6)[0]
        if size or rtype:
            entries[(rtype, name, lang)] = data[pos + header:pos + header + size]
        pos += header + size
        pos += (4 - pos % 4) % 4
    return entries


def messages(entries):
    """The string table's messages, by number (the program's fit in block 1)."""
    data = entries.get((RT_STRING, 1, ENGLISH_US), b"")
    found, at = {}, 0
    for slot in range(16):
        if at + 2 > len(data):
            break
        length = struct.unpack_from("<H", data, at)[0]
        if length:
            found[slot] = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length
    return found


def dialog(data):
    """What the Wine scenarios need of a classic dialog template: its title, its size in dialog units, its
    controls as {control ID: (x, y, width, height)}, and the labels of its buttons as {control ID: text}."""
    style, _, count, _, _, width, height = struct.unpack_from("<IIHhhhh", data, 0)
    _, at = _read_name(data, 18)  # menu
    _, at = _read_name(data, at)  # class
    title, at = _read_name(data, at)
    if style & 0x40:  # DS_SETFONT: point size and face name
        _, at = _read_name(data, at + 2)
    controls, buttons = {}, {}
    for _ in range(count):
        at += (4 - at % 4) % 4
        x, y, c_width, c_height, c_id = struct.unpack_from("<hhhhH", data, at + 8)
        kind, at = _read_name(data, at + 18)  # class
        text, at = _read_name(data, at)
        at += 2 + struct.unpack_from("<H", data, at)[0]
        controls[c_id] = (x, y, c_width, c_height)
        if kind == BUTTON_CLASS and isinstance(text, str):
            buttons[c_id] = text
    return types.SimpleNamespace(title=title or "", size=(width, height), controls=controls, buttons=buttons)


class Executable:
    """The messages and screens that a built TREVASK.EXE carries."""

    def __init__(self, path):
        entries = entries_of_exe(pefile.PE(path))
        self.messages = messages(entries)
        self.dialogs = {name: dialog(data) for (rtype, name, _), data in entries.items() if rtype == RT_DIALOG}

    def title(self, template):
        return self.dialogs[template].title
