#!/usr/bin/python3
"""Reads a built TREVASK.EXE back and checks what it is made of.

    check_executable.py imports   EXE
    check_executable.py headers   EXE
    check_executable.py resources EXE RES
    check_executable.py size      EXE
    check_executable.py report    EXE MAP

Each check prints what it found and exits non-zero, naming every
difference, when the executable strays. What the resources hold (templates,
messages, icon, manifest) is checked by the host tests on the compiled .res;
here, that the executable carries exactly that .res. Needs Debian's
python3-pefile.
"""
import os
import re
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from trevask import pe as image  # noqa: E402
from trevask import resources  # noqa: E402

# Every Win32 call the program makes, and what its entry point needs.
EXPECTED_IMPORTS = {
    "KERNEL32.DLL": {"CreateMutexA", "GetLastError", "GetVersion", "GetCurrentProcess",
                     "GetModuleHandleA", "GetCommandLineA", "ExitProcess"},
    "USER32.DLL": {"DialogBoxParamA", "EndDialog", "SetDlgItemTextA", "LoadStringA", "GetDesktopWindow"},
    "ADVAPI32.DLL": {"RegOpenKeyExA", "RegCreateKeyExA", "RegQueryValueExA", "RegSetValueExA", "RegCloseKey",
                     "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges",
                     "InitiateSystemShutdownA"},
}

MACHINES = {image.I386: ("i386", (3, 10)), image.X86_64: ("x86_64", (5, 2))}
GUI_SUBSYSTEM = 2
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT, NO_SEH = 0x0020, 0x0040, 0x0100, 0x0400
# Relocatable anywhere, no code run from data, and on i386 no SEH handlers to register (what SafeSEH checks
# ask of an image without a handler table); nothing else.
DLL_CHARACTERISTICS = {"i386": DYNAMIC_BASE | NX_COMPAT | NO_SEH,
                       "x86_64": HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT}
MEM_EXECUTE, MEM_WRITE = 0x20000000, 0x80000000


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


def check_imports(path):
    found = image.imports(pefile.PE(path))
    problems = Problems()
    expected = EXPECTED_IMPORTS
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
        check_relocations(problems, pe, image.ADDRESS_TYPE[machine])
    for section in pe.sections:
        section_name = section.Name.rstrip(b"\0").decode()
        problems.check(section.Characteristics & (MEM_WRITE | MEM_EXECUTE) != MEM_WRITE | MEM_EXECUTE,
                       f"section {section_name} is both writable and executable")
    problems.finish("headers")


def check_relocations(problems, pe, address_type):
    """A relocation table that a loader can apply: present, of the machine's address type only, each entry
    on an address inside a section that points into the image."""
    problems.check(not pe.FILE_HEADER.Characteristics & RELOCS_STRIPPED, "marked as having no relocations")
    entries = image.relocations(pe)
    addresses = [(rva, kind) for rva, kind in entries if kind != image.ABSOLUTE]
    print(f"relocations: {len(addresses)} of type {address_type}")
    problems.check(addresses, "no relocation table")
    first, end = pe.OPTIONAL_HEADER.ImageBase, pe.OPTIONAL_HEADER.ImageBase + pe.OPTIONAL_HEADER.SizeOfImage
    for rva, kind in addresses:
        where = f"relocation at RVA 0x{rva:x}"
        if kind != address_type:
            problems.check(False, f"{where} is of type {kind}, which this machine's images do not use")
            continue
        width = image.WIDTH[kind]
        inside = [s for s in pe.sections
                  if s.VirtualAddress <= rva and rva + width <= s.VirtualAddress + max(s.Misc_VirtualSize, 1)]
        problems.check(inside, f"{where} lies outside every section")
        if inside:
            value = image.read_address(pe, rva, kind)
            problems.check(first <= value < end, f"{where} holds 0x{value:x}, outside the image")


def check_resources(exe_path, res_path):
    """The executable carries exactly the compiled resources, byte for byte: no more, no fewer."""
    problems = Problems()
    carried = resources.entries_of_exe(pefile.PE(exe_path))
    compiled = resources.entries_of_res(res_path)
    for key in sorted(set(carried) | set(compiled), key=str):
        rtype, name, language = key
        where = f"resource type {rtype} #{name} language {language}"
        problems.check(key in carried, f"{where} is compiled but not in the executable")
        problems.check(key in compiled, f"{where} is in the executable but not compiled")
        if key in carried and key in compiled:
            print(f"{where}: {len(carried[key])} bytes")
            problems.check(carried[key] == compiled[key], f"{where} differs from the compiled resource file")
    problems.finish("resources")


# What the linker's input sections hold, for the size report.
INPUT_KINDS = [(".text", "code"), (".rdata$.refptr.", "address slots"), (".rdata", "read-only data"),
               (".pdata", "unwind table"), (".xdata", "unwind data"), (".bss", "zeroed data"),
               (".idata$2", "import directory"), (".idata$3", "import directory"), (".idata$4", "import lookup"),
               (".idata$5", "import address table"), (".idata$6", "imported names"), (".idata$7", "DLL names"),
               (".rsrc", "resources"), (".reloc", "relocations")]
# Bytes the file may take, by machine: the i386 TREVASK.EXE, the one that ships, fits in 10 KiB.
BUDGETS = {"i386": 10240}


def budget_of(pe):
    """(machine name, its budget in bytes, or None when it has none)."""
    name = MACHINES.get(pe.FILE_HEADER.Machine, (f"machine 0x{pe.FILE_HEADER.Machine:04x}",))[0]
    return name, BUDGETS.get(name)


def check_size(path):
    pe = pefile.PE(path, fast_load=True)
    size = len(pe.__data__)
    name, budget = budget_of(pe)
    problems = Problems()
    if budget is None:
        problems.check(False, f"there is no size budget for an {name} image")
    else:
        print(f"{size} bytes, budget {budget} bytes for the {name} image")
        problems.check(size <= budget, f"{size} bytes is over the {name} image's budget of {budget} bytes "
                                       f"by {size - budget}")
    problems.finish("size")


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
    _, budget = budget_of(pe)
    if budget is not None:
        print(f"  budget {budget} bytes: {budget - size} to spare" if size <= budget else
              f"  OVER the budget of {budget} bytes by {size - budget}")
    print(f"  headers: {pe.OPTIONAL_HEADER.SizeOfHeaders} bytes")
    contents = map_contents(map_path)
    entries = image.relocations(pe)
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        kinds = contents.get(name, {})
        if name == ".reloc":
            kinds = {f"{sum(1 for _, kind in entries if kind)} addresses to fix": section.Misc_VirtualSize}
        if name == ".rsrc":
            kinds = {}
            names = {resources.RT_ICON: "icon image", resources.RT_DIALOG: "dialogs",
                     resources.RT_STRING: "messages", resources.RT_GROUP_ICON: "icon group",
                     resources.RT_MANIFEST: "manifest"}
            for (rtype, _, _), data in resources.entries_of_exe(pe).items():
                kinds[names.get(rtype, rtype)] = kinds.get(names.get(rtype, rtype), 0) + len(data)
            kinds["directory"] = section.Misc_VirtualSize - sum(kinds.values())
        rest = section.Misc_VirtualSize - sum(kinds.values())
        if rest > 0:
            kinds["alignment and the linker's own lists"] = rest
        print(f"  {name:8} {section.SizeOfRawData:6} bytes in the file, {section.Misc_VirtualSize:6} used: "
              + ", ".join(f"{kind} {count}" for kind, count in kinds.items()))
    for dll, names in sorted(image.imports(pe).items()):
        print(f"  {dll}: {', '.join(sorted(names))}")


def main(argv):
    if len(argv) >= 3 and argv[1] == "imports":
        check_imports(argv[2])
    elif len(argv) >= 3 and argv[1] == "headers":
        check_headers(argv[2])
    elif len(argv) >= 4 and argv[1] == "resources":
        check_resources(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "size":
        check_size(argv[2])
    elif len(argv) == 4 and argv[1] == "report":
        report(argv[2], argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
