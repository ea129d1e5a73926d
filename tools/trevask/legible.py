"""Whether screenshots of TREVASK.EXE's screens show what a user must see: each is read back
(trevask.ocr), and each screen shown alone must be exactly as wide as the face its template asks
for makes it.
"""
import os

from PIL import Image  # Debian's python3-pil

from trevask import ocr

# Windows draws the templates' 8-point MS Sans Serif at 96 DPI with dialog base units of 6 x 13 pixels:
# a screen is 6 pixels wide for every 4 of its template's units across, inside a modal frame of 3 pixels a
# side. Another face has other base units (DejaVu Sans 7 x 13), and the screen another width.
BASE_UNIT_X = 6
MODAL_FRAME = 3


def mul_div(number, numerator, denominator):
    """Windows' MulDiv for positive numbers: the product over the denominator, halves rounded up."""
    return (2 * number * numerator + denominator) // (2 * denominator)


def width_on_screen(layout):
    """How many pixels wide Windows draws a screen with this template (as resources.dialog gives it)."""
    return mul_div(layout.size[0], BASE_UNIT_X, 4) + 2 * MODAL_FRAME


def drawn_in_another_face(path, layout):
    """What is wrong with the width of a screenshot of one screen alone, or None when it is right."""
    width, wanted = Image.open(path).width, width_on_screen(layout)
    if width == wanted:
        return None
    base_unit = (width - 2 * MODAL_FRAME) * 4 / layout.size[0]
    return (f"{width} pixels wide, where 8-point MS Sans Serif makes it {wanted}: drawn in another face, with "
            f"{base_unit:.1f} pixels for every 4 dialog units across instead of {BASE_UNIT_X}")


def unreadable(folder, screens, shots, scores=None):
    """{screenshot: what is wrong with it} for the shots in folder that a user could not read in full or
    that are not drawn in the face their templates ask for. shots is {name: (template, message, messages
    of the screens partly hidden beneath)}, screens the resources.Executable they were taken of. A missing
    screenshot counts too. scores, a dict, gets {screenshot: {what: share}} of what was read."""
    found = {}
    for name, (template, message, behind) in shots.items():
        path = os.path.join(folder, f"{name}.png")
        if not os.path.exists(path):
            found[name] = ["no screenshot"]
            continue
        read = {}
        problems = ocr.problems(path, screens.dialogs[template], message, screens.messages, behind, read)
        if not behind:  # a screen partly hidden beneath widens the shot
            problems.insert(0, drawn_in_another_face(path, screens.dialogs[template]))
        problems = [problem for problem in problems if problem]
        if scores is not None:
            scores[name] = read
        if problems:
            found[name] = problems
    return found
