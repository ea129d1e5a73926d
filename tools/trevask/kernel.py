"""Whether this machine's kernel runs 32-bit x86 code, which an i386 program under Wine needs.

Wine's 32-bit loader (Debian's wine32) switches to 32-bit code segments.
Some kernels leave them out (one booted with ia32_emulation=off, or a
virtual machine that runs 64-bit user code only); there the loader cannot
even start. One far jump into 32-bit code and back tells: such a kernel
kills the process that tries it, so the jump runs in a process of its own.
"""
import ctypes
import functools
import os
import struct
import subprocess
import sys

from trevask import TOOLS, pe


def _switch_to_32bit_code_and_back():
    """Runs one far jump into 32-bit code and back, and returns 1."""
    libc = ctypes.CDLL(None)
    libc.mmap.restype = ctypes.c_void_p
    libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
    read_write_execute, private_anonymous_below_2g = 7, 0x02 | 0x20 | 0x40
    base = libc.mmap(None, 4096, read_write_execute, private_anonymous_below_2g, -1, 0)
    if not base or base >= 1 << 31:
        sys.exit("no executable memory below 2 GiB")
    code = bytearray(b"\x48\x89\x25....")        # mov [rip+saved], rsp
    save_end = len(code)
    code += b"\x6a\x23"                          # push 0x23, the 32-bit user code segment
    code += b"\x48\x8d\x05...."                 # lea rax, [rip+code32]
    lea_end = len(code)
    code += b"\x50\x48\xcb"                      # push rax; lretq: on to code32 in 32-bit mode
    code32 = len(code)
    code += b"\xea....\x33\x00"                  # jmp far 0x33:back64, back to 64-bit mode
    back64 = len(code)
    code += b"\x48\x8b\x25...."                 # mov rsp, [rip+saved]
    restore_end = len(code)
    code += b"\xb8\x01\x00\x00\x00\xc3"          # mov eax, 1; ret
    saved = len(code)
    code += bytes(8)
    struct.pack_into("<i", code, save_end - 4, saved - save_end)
    struct.pack_into("<i", code, lea_end - 4, code32 - lea_end)
    struct.pack_into("<I", code, code32 + 1, base + back64)
    struct.pack_into("<i", code, restore_end - 4, saved - restore_end)
    ctypes.memmove(base, bytes(code), len(code))
    return ctypes.CFUNCTYPE(ctypes.c_int)(base)()


@functools.lru_cache(maxsize=None)
def runs_i386_code():
    """Whether the far jump came back, in a process of its own."""
    probe = subprocess.run([sys.executable, "-m", "trevask.kernel", "--switch-to-32bit-code"], capture_output=True,
                           text=True, timeout=60, env=dict(os.environ, PYTHONPATH=TOOLS))
    return probe.returncode == 0 and probe.stdout.strip() == "1"


def unable_to_run_i386():
    """Why this machine cannot run an i386 program under Wine at all, or None when it can."""
    if not runs_i386_code():
        return ("this machine's kernel cannot run 32-bit x86 code (it has no 32-bit code segment, as with "
                "ia32_emulation=off or a virtual machine that runs 64-bit user code only), so Wine cannot "
                "run an i386 program here")
    return None


def unable_to_run(exe):
    """Why this machine cannot run the executable under Wine at all, or None when it can."""
    return unable_to_run_i386() if pe.image_of(exe)[0] else None


if __name__ == "__main__" and sys.argv[1:] == ["--switch-to-32bit-code"]:
    print(_switch_to_32bit_code_and_back())
