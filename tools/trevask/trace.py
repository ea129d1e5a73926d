"""The program's own calls, read from Wine's +relay trace as it grows.

A line of the trace is a call across a DLL boundary, its return, or the
return of a dialog procedure, for every thread of every Wine process. Calls
are kept when their return address lies in the program's image. Wine's own
programs load at the same base, so of those the program's thread is the one
that creates TREVASK_MUTEX (its calls before that are kept too).
"""
import re

CALL = re.compile(r"^([0-9a-f]{4}):(Call|Ret)\s+([\w.]+)\((.*?)\)(?: retval=(\w+))? ret=(\w+)$")
DIALOG_PROC = re.compile(r"^([0-9a-f]{4}):Ret\s+dialog proc (\w+) \(hwnd=\w+,msg=(\w+),wp=(\w+),lp=\w+\) "
                         r"retval=(\w+)")


# What Wine itself reports as an error, from any of its processes that write to the trace.
WINE_ERROR = re.compile(r"^[0-9a-f]{4}:err:")


class RelayTrace:
    def __init__(self, path, image_range):
        self.path = path
        self.image_range = image_range  # (first, end) address of the program's image
        self.by_thread, self.offset, self.thread = {}, 0, None
        self.wine_errors = []  # Wine's own error lines, in order

    def calls(self):
        """The program's calls so far, in order: ('Call', function, arguments), ('Ret', function, retval),
        and ('Proc', message, (wParam, retval)) for each message its dialog procedures returned from."""
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            chunk = f.read()
        complete = chunk.rfind(b"\n") + 1
        self.offset += complete
        first, end = self.image_range
        for line in chunk[:complete].decode("latin-1").splitlines():
            call = CALL.match(line)
            proc = DIALOG_PROC.match(line)
            if call:
                tid, kind, function, args, retval, ret = call.groups()
                if not first <= int(ret, 16) < end:
                    continue
                function = function.split(".")[-1]
                if self.thread is None and function == "CreateMutexA" and "TREVASK_MUTEX" in args:
                    self.thread = tid
                self.by_thread.setdefault(tid, []).append((kind, function, args if kind == "Call" else retval))
            elif proc and first <= int(proc.group(2), 16) < end:
                self.by_thread.setdefault(proc.group(1), []).append(
                    ("Proc", proc.group(3), (int(proc.group(4), 16), int(proc.group(5), 16))))
            elif WINE_ERROR.match(line):
                self.wine_errors.append(line)
        return list(self.by_thread.get(self.thread, []))

    def calls_with_results(self):
        """(function, arguments, result) for each of the program's calls so far, in the order they were
        made; the result is None for a call that has not returned."""
        done, open_calls = [], []
        for kind, function, args in self.calls():
            if kind == "Call":
                open_calls.append(len(done))
                done.append([function, args, None])
            elif kind == "Ret" and open_calls and done[open_calls[-1]][0] == function:
                done[open_calls.pop()][2] = args
        return [tuple(call) for call in done]
