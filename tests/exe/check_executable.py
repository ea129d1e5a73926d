#!/usr/bin/python3
"""Reads a built TREVASK.EXE back and checks what it is made of.

    check_executable.py imports   EXE
    check_executable.py headers   EXE
    check_executable.py resources EXE RES
    check_executable.py report    EXE MAP

Each check prints what it found and exits non-zero, naming every
difference, when the executable strays. Needs Debian's python3-pefile.
"""
import re
import struct
import sys

import pefile

import pe_relocations

# Every Win32 call the program makes, and what its entry point needs.
EXPECTED_IMPORTS = {
    "KERNEL32.dll": {"CreateMutexA", "GetLastError", "GetVersion", "GetCurrentProcess",
                     "GetModuleHandleA", "GetCommandLineA", "ExitProcess"},
    "USER32.dll": {"DialogBoxParamA", "EndDialog", "SetDlgItemTextA", "LoadStringA", "GetDesktopWindow"},
    "ADVAPI32.dll": {"RegOpenKeyExA", "RegCreateKeyExA", "RegQueryValueExA", "RegSetValueExA", "RegCloseKey",
                     "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges",
                     "InitiateSystemShutdownA"},
}

MACHINES = {0x014C: ("i386", (3, 10)), 0x8664: ("x86_64", (5, 2))}
GUI_SUBSYSTEM = 2
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, NO_SEH = 0x0020, 0x0040, 0x0100, 0x0400
# Relocatable anywhere, no code run from data, and on i386 no SEH handlers to register (what SafeSEH checks
# ask of an image without a handler table); nothing else.
DLL_CHARACTERISTICS = {"i386": DYNAMIC_BASE | NX_COMPAT | NO_SEH,
                       "x86_64": HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT}
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 6, 14, 24
ENGLISH_US = 1033
SCREEN_STYLE = 0x80C008C0
DEFAULT_BUTTON, BUTTON, MESSAGE_TEXT = 0x50010001, 0x50010000, 0x50020001
BUTTON_CLASS, STATIC_CLASS = 0x80, 0x82

# template: (title, width, height, [(control id, style, text, (x, y, cx, cy)), ...] in tab order)
SCREENS = {
    102: ("Already Running!", 157, 88, [(1, DEFAULT_BUTTON, "Close", (53, 68, 50, 14)),
                                        (1002, MESSAGE_TEXT, "", (11, 6, 136, 52))]),
    103: ("Confirmation", 186, 108, [(1, DEFAULT_BUTTON, "Continue", (38, 84, 50, 14)),
                                     (2, BUTTON, "Exit Now!", (98, 84, 50, 14)),
                                     (1003, MESSAGE_TEXT, "", (13, 8, 158, 66))]),
    104: ("Not Using NT!", 134, 74, [(1, DEFAULT_BUTTON, "Close", (42, 54, 50, 14)),
                                     (1004, MESSAGE_TEXT, "", (11, 6, 111, 38))]),
    106: ("Changes Complete!", 186, 92, [(1, DEFAULT_BUTTON, "Restart System", (19, 69, 70, 14)),
                                         (2, BUTTON, "Exit to Windows NT", (97, 69, 70, 14)),
                                         (1005, MESSAGE_TEXT, "", (16, 8, 154, 55))]),
    107: ("Remove Floppies", 123, 65, [(1, DEFAULT_BUTTON, "OK", (38, 46, 47, 14)),
                                       (1006, MESSAGE_TEXT, "", (14, 8, 95, 30))]),
    108: ("Changes Not Made!", 157, 88, [(1, DEFAULT_BUTTON, "Close", (53, 68, 50, 14)),
                                         (1007, MESSAGE_TEXT, "", (11, 6, 136, 52))]),
    109: ("Restart Failed!", 157, 88, [(1, DEFAULT_BUTTON, "Close", (53, 68, 50, 14)),
                                       (1008, MESSAGE_TEXT, "", (11, 6, 136, 52))]),
}
MESSAGE_IDS = [1, 2, 4, 5, 6, 7, 8, 9]


class Problems:
    def __init__(self):
        self.items = []

    def check(self, ok, text):
        if not ok:
            self.items.append(text)

    def finish(self, what):
        for item in self.items:
            print(f"FAIL: {item}")
        if self.items:
            sys.exit(f"{what}: {len(self.items)} problem(s)")
        print(f"{what}: all as expected")


def imports_of(pe):
    found = {}
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode()
        found.setdefault(dll.upper(), set()).update(
            imp.name.decode() if imp.name else f"#{imp.ordinal}" for imp in entry.imports)
    return found


def check_imports(path):
    pe = pefile.PE(path)
    found = imports_of(pe)
    problems = Problems()
    expected = {dll.upper(): names for dll, names in EXPECTED_IMPORTS.items()}
    for dll in sorted(found):
        print(f"{dll}: {', '.join(sorted(found[dll]))}")
        problems.check(dll in expected, f"imports from {dll}, which is not allowed")
    for dll, names in expected.items():
        got = found.get(dll, set())
        for name in sorted(got - names):
            problems.check(False, f"{dll}!{name} is imported but the program does not call it")
        for name in sorted(names - got):
            problems.check(False, f"{dll}!{name} is not imported")
    problems.finish("imports")


def check_headers(path):
    pe = pefile.PE(path)
    problems = Problems()
    machine = pe.FILE_HEADER.Machine
    opt = pe.OPTIONAL_HEADER
    version = (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion)
    print(f"machine 0x{machine:04x}, subsystem {opt.Subsystem}, subsystem version {version[0]}.{version[1]:02d}, "
          f"time stamp {pe.FILE_HEADER.TimeDateStamp}, image base 0x{opt.ImageBase:x}")
    problems.check(machine in MACHINES, f"machine 0x{machine:04x} is neither i386 nor x86_64")
    if machine in MACHINES:
        name, wanted = MACHINES[machine]
        problems.check(version == wanted, f"{name} subsystem version {version} should be {wanted}")
        problems.check((opt.Magic == 0x20B) == (name == "x86_64"), "optional header does not fit the machine")
    problems.check(opt.Subsystem == GUI_SUBSYSTEM, f"subsystem {opt.Subsystem} is not the Windows GUI")
    problems.check(pe.FILE_HEADER.TimeDateStamp == 0, "the header carries a time stamp")
    problems.check(not pe.is_dll(), "built as a DLL")
    problems.check(not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"), "exports something")
    problems.check(not hasattr(pe, "DIRECTORY_ENTRY_TLS"), "has thread-local storage, which NT 3.51 cannot load")
    if machine in MACHINES:
        name = MACHINES[machine][0]
        flags = opt.DllCharacteristics
        print(f"DLL characteristics 0x{flags:04x}")
        problems.check(flags == DLL_CHARACTERISTICS[name],
                       f"DLL characteristics 0x{flags:04x} should be 0x{DLL_CHARACTERISTICS[name]:04x}")
        check_relocations(problems, pe, pe_relocations.ADDRESS_TYPE[machine])
    for section in pe.sections:
        section_name = section.Name.rstrip(b"\0").decode()
        problems.check(section.Characteristics & (MEM_WRITE | MEM_EXECUTE) != MEM_WRITE | MEM_EXECUTE,
                       f"section {section_name} is both writable and executable")
    problems.finish("headers")


def check_relocations(problems, pe, address_type):
    """A relocation table that a loader can apply: present, of the machine's address type only, each entry
    on an address inside a section that points into the image."""
    problems.check(not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED, "marked as having no relocations")
    entries = pe_relocations.relocations(pe)
    addresses = [(rva, kind) for rva, kind in entries if kind != pe_relocations.ABSOLUTE]
    print(f"relocations: {len(addresses)} of type {address_type}")
    problems.check(addresses, "no relocation table")
    first, end = pe.OPTIONAL_HEADER.ImageBase, pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.SizeOfImage
    for rva, kind in addresses:
        where = f"relocation at RVA 0x{rva:x}"
        if kind != address_type:
            problems.check(False, f"{where} is of type {kind}, which this machine's images do not use")
            continue
        width = pe_relocations.WIDTH[kind]
        inside = [s for s in pe.sections
                  if s.VirtualAddress <= rva and rva + width <= s.VirtualAddress + max(s.Misc_VirtualSize, 1)]
        problems.check(inside, f"{where} lies outside every section")
        if inside:
            value = pe_relocations.read_address(pe, rva, kind)
            problems.check(first <= value < end, f"{where} holds 0x{value:x}, outside the image")


def resource_entries_of_exe(pe):
    entries = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in rtype.directory.entries:
            for lang in name.directory.entries:
                key = (rtype.id if rtype.name is None else str(rtype.name),
                       name.id if name.name is None else str(name.name), lang.id)
                entries[key] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return entries


def read_name(data, pos):
    first = struct.unpack_from("<H", data, pos)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    if first == 0:
        return 0, pos + 2
    end = pos
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def resource_entries_of_res(path):
    data = open(path, "rb").read()
    entries, pos = {}, 0
    while pos < len(data):
        size, header = struct.unpack_from("<II", data, pos)
        rtype, at = read_name(data, pos + 8)
        name, at = read_name(data, at)
        at += (4 - (at - pos) % 4) % 4
        lang = struct.unpack_from("<H", data, at + 6)[0]
        if size or rtype:
            entries[(rtype, name, lang)] = data[pos + header:pos + header + size]
        pos += header + size
        pos += (4 - pos % 4) % 4
    return entries


def decode_dialog(data):
    style, ex_style, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    menu, at = read_name(data, 18)
    cls, at = read_name(data, at)
    title, at = read_name(data, at)
    title = title or ""
    point, font = 0, ""
    if style & 0x40:
        point = struct.unpack_from("<H", data, at)[0]
        font, at = read_name(data, at + 2)
    controls = []
    for _ in range(count):
        at += (4 - at % 4) % 4
        c_style, c_ex, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIhhhhH", data, at)
        c_class, at = read_name(data, at + 18)
        c_text, at = read_name(data, at)
        c_text = c_text or ""  # an empty text is stored like "no ordinal"
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        controls.append((c_id, c_style, c_ex, c_class, c_text, (c_x, c_y, c_cx, c_cy)))
    return dict(style=style, ex_style=ex_style, pos=(x, y), size=(cx, cy), menu=menu, cls=cls, title=title,
                font=(point, font), controls=controls)


def messages_in(entries):
    """The string table's messages, by number (only block 1 is used)."""
    data = entries.get((RT_STRING, 1, ENGLISH_US), b"")
    messages, at = {}, 0
    for slot in range(16):
        if at + 2 > len(data):
            break
        length = struct.unpack_from("<H", data, at)[0]
        if length:
            messages[slot] = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        at += 2 + 2 * length
    return messages


def messages_of_exe(path):
    return messages_in(resource_entries_of_exe(pefile.PE(path)))


def dialogs_of_exe(path):
    """The executable's dialog templates, decoded, by number."""
    return {name: decode_dialog(data) for (rtype, name, _), data in resource_entries_of_exe(pefile.PE(path)).items()
            if rtype == RT_DIALOG}


def check_dialog(problems, number, data):
    where = f"template {number}"
    problems.check(data[:4] != b"\x01\x00\xff\xff", f"{where} is an extended template")
    dialog = decode_dialog(data)
    title, cx, cy, controls = SCREENS[number]
    print(f"{where} \"{dialog['title']}\" {dialog['size'][0]}x{dialog['size'][1]} style 0x{dialog['style']:08X} "
          f"font {dialog['font'][0]} \"{dialog['font'][1]}\", controls "
          + ", ".join(f"{c[0]} \"{c[4]}\" {c[5]}" for c in dialog["controls"]))
    problems.check(dialog["style"] == SCREEN_STYLE, f"{where} style 0x{dialog['style']:08X}")
    problems.check(dialog["ex_style"] == 0, f"{where} extended style")
    problems.check(dialog["pos"] == (0, 0), f"{where} position {dialog['pos']}")
    problems.check(dialog["size"] == (cx, cy), f"{where} size {dialog['size']}")
    problems.check(dialog["menu"] == 0 and dialog["cls"] == 0, f"{where} has a menu or a class")
    problems.check(dialog["title"] == title, f"{where} title \"{dialog['title']}\"")
    problems.check(dialog["font"] == (8, "MS Sans Serif"), f"{where} font {dialog['font']}")
    got = [(c[0], c[1], c[4], c[5]) for c in dialog["controls"]]
    problems.check(got == controls, f"{where} controls {got}")
    for c in dialog["controls"]:
        wanted_class = STATIC_CLASS if c[1] == MESSAGE_TEXT else BUTTON_CLASS
        problems.check(c[2] == 0 and c[3] == wanted_class, f"{where} control {c[0]} class or extended style")


def check_icon(problems, entries):
    group = entries.get((RT_GROUP_ICON, 105, ENGLISH_US), b"")
    image = entries.get((RT_ICON, 1, ENGLISH_US), b"")
    problems.check(len(group) == 20, "icon group 105 does not hold exactly one image")
    if len(group) == 20:
        _, kind, count, w, h, colours, _, planes, bits, size, number = struct.unpack("<HHHBBBBHHIH", group)
        print(f"icon group 105: {count} image, #{number} {w}x{h} {colours} colours {bits} bits, {size} bytes")
        problems.check((kind, count, w, h, colours, planes, bits, number) == (1, 1, 32, 32, 16, 1, 4, 1),
                       "icon group entry is not one 32 x 32, 16-colour image numbered 1")
        problems.check(size == len(image), "icon group gives the wrong image size")
    if len(image) >= 40:
        header = struct.unpack_from("<IiiHH", image, 0)
        problems.check(header == (40, 32, 64, 1, 4), f"icon image header {header}")
        problems.check(len(image) == 40 + 64 + 512 + 128, f"icon image is {len(image)} bytes")
        problems.check(image[-128:] == bytes(128), "icon mask is not all opaque")


def check_resources(exe_path, res_path):
    pe = pefile.PE(exe_path)
    problems = Problems()
    entries = resource_entries_of_exe(pe)
    compiled = resource_entries_of_res(res_path)
    expected_keys = {(RT_DIALOG, n, ENGLISH_US) for n in SCREENS}
    expected_keys |= {(RT_STRING, 1, ENGLISH_US), (RT_ICON, 1, ENGLISH_US), (RT_GROUP_ICON, 105, ENGLISH_US),
                      (RT_MANIFEST, 1, ENGLISH_US)}
    for key in sorted(set(entries) | expected_keys, key=str):
        problems.check(key in entries, f"resource type {key[0]} #{key[1]} language {key[2]} is missing")
        problems.check(key in expected_keys, f"resource type {key[0]} #{key[1]} language {key[2]} should not be there")
    for key in sorted(set(entries) | set(compiled), key=str):
        problems.check(entries.get(key) == compiled.get(key),
                       f"resource type {key[0]} #{key[1]} differs from the compiled resource file")
    for number in SCREENS:
        if (RT_DIALOG, number, ENGLISH_US) in entries:
            check_dialog(problems, number, entries[(RT_DIALOG, number, ENGLISH_US)])
    messages = messages_in(entries)
    for number, text in messages.items():
        print(f"message {number}: {text[:60]}{'...' if len(text) > 60 else ''} ({len(text)} characters)")
    present = sorted(messages)
    problems.check(present == MESSAGE_IDS, f"messages {present} should be {MESSAGE_IDS}")
    check_icon(problems, entries)
    manifest = entries.get((RT_MANIFEST, 1, ENGLISH_US), b"").decode("utf-8", "replace")
    problems.check('level="requireAdministrator"' in manifest, "manifest does not ask for administrator rights")
    problems.finish("resources")


# What the linker's input sections hold, for the size report.
INPUT_KINDS = [(".text", "code"), (".rdata$.refptr.", "address slots"), (".rdata", "read-only data"),
               (".pdata", "unwind table"), (".xdata", "unwind data"), (".bss", "zeroed data"),
               (".idata$2", "import directory"), (".idata$3", "import directory"), (".idata$4", "import lookup"),
               (".idata$5", "import address table"), (".idata$6", "imported names"), (".idata$7", "DLL names"),
               (".rsrc", "resources"), (".reloc", "relocations")]
I386_BUDGET = 10240  # bytes: what the i386 TREVASK.EXE may take


def map_contents(map_path):
    """{output section: {kind: bytes}} from the linker's map, for the input sections with bytes in them."""
    contents, section, in_layout, pending = {}, None, False, ""
    with open(map_path, encoding="latin-1") as lines:
        for line in lines:
            if line.startswith("Linker script and memory map"):
                in_layout = True
            if not in_layout:
                continue
            output = re.match(r"^(\.\w+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+", line)
            if output:
                section = output.group(1)
                continue
            # A long input section name stands on a line of its own, its address and size on the next.
            line, pending = pending + line, re.match(r"^ \.\S+$", line.rstrip()) and line.rstrip() or ""
            entry = re.match(r"^ (\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s", line)
            if section and entry and int(entry.group(2), 16):
                kind = next((k for prefix, k in INPUT_KINDS if entry.group(1).startswith(prefix)), entry.group(1))
                kinds = contents.setdefault(section, {})
                kinds[kind] = kinds.get(kind, 0) + int(entry.group(2), 16)
    return contents


def report(path, map_path):
    pe = pefile.PE(path)
    size = len(pe.__data__)
    machine = pe.FILE_HEADER.Machine
    print(f"{path}: {size} bytes ({size / 1024:.2f} KiB), machine 0x{machine:04x}, "
          f"DLL characteristics 0x{pe.OPTIONAL_HEADER.DllCharacteristics:04x}")
    if MACHINES.get(machine, ("",))[0] == "i386":
        print(f"  budget {I386_BUDGET} bytes: {I386_BUDGET - size} to spare" if size <= I386_BUDGET else
              f"  OVER the budget of {I386_BUDGET} bytes by {size - I386_BUDGET}")
    print(f"  headers: {pe.OPTIONAL_HEADER.SizeOfHeaders} bytes")
    contents = map_contents(map_path)
    entries = pe_relocations.relocations(pe)
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        kinds = contents.get(name, {})
        if name == ".reloc":
            kinds = {f"{sum(1 for _, kind in entries if kind)} addresses to fix": section.Misc_VirtualSize}
        if name == ".rsrc":
            kinds = {}
            names = {RT_ICON: "icon image", RT_DIALOG: "dialogs", RT_STRING: "messages", RT_GROUP_ICON: "icon group",
                     RT_MANIFEST: "manifest"}
            for (rtype, _, _), data in resource_entries_of_exe(pe).items():
                kinds[names.get(rtype, rtype)] = kinds.get(names.get(rtype, rtype), 0) + len(data)
            kinds["directory"] = section.Misc_VirtualSize - sum(kinds.values())
        rest = section.Misc_VirtualSize - sum(kinds.values())
        if rest > 0:
            kinds["alignment and the linker's own lists"] = rest
        print(f"  {name:8} {section.SizeOfRawData:6} bytes in the file, {section.Misc_VirtualSize:6} used: "
              + ", ".join(f"{kind} {count}" for kind, count in kinds.items()))
    for dll, names in sorted(imports_of(pe).items()):
        print(f"  {dll}: {', '.join(sorted(names))}")


def main(argv):
    if len(argv) >= 3 and argv[1] == "imports":
        check_imports(argv[2])
    elif len(argv) >= 3 and argv[1] == "headers":
        check_headers(argv[2])
    elif len(argv) >= 4 and argv[1] == "resources":
        check_resources(argv[2], argv[3])
    elif len(argv) == 4 and argv[1] == "report":
        report(argv[2], argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
