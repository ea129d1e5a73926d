"""Reading a screenshot of TREVASK.EXE's screens back with OCR (Debian's tesseract-ocr).

A screen is readable when its title, its whole message and its button labels,
as the executable's own resources give them, are all found in the text read
off its pixels. OCR misreads a few characters ("add" as "ade", "PCI" as
"PC!"), so texts are compared by the share of the expected characters found
in order, in runs of three or more, never for equality. Three faults must
still show: a black screen (nothing is read), the wrong message (another of
the program's messages matches better) and a message cut off by its control
(its last words are missing).

Each screenshot is read twice, blown up two ways, and each text counts by
the reading that finds it best: a point-filtered upscale keeps a smooth
face sharp, while the stair steps of a bitmap face such as MS Sans Serif
read well only once a Lanczos upscale has rounded them off.
"""
import difflib
import os
import re
import subprocess
import tempfile

from PIL import Image  # Debian's python3-pil

TITLE_SHARE = 0.8      # of a title, read from its caption bar
LABEL_SHARE = 0.8      # of a button's label
MESSAGE_SHARE = 0.85   # of a whole message; measured 0.92 and up on whole messages
TAIL_SHARE = 0.7       # of a message's last fifth, which a control too small for it cuts off
TAIL_PART = 0.2

_QUOTES = str.maketrans({"\u201c": '"', "\u201d": '"', "\u2018": "'", "\u2019": "'"})


def normalised(text):
    """Lower case, with every run of characters other than letters and digits as one space."""
    return " ".join(re.findall(r"[a-z0-9]+", text.translate(_QUOTES).lower()))


def found_share(expected, text):
    """The share of expected's characters found in text, in order, in runs of three or more
    (of all of them, for a shorter text such as "OK")."""
    wanted, read = normalised(expected), normalised(text)
    if not wanted:
        return 1.0
    shortest = min(3, len(wanted))
    blocks = difflib.SequenceMatcher(None, wanted, read, autojunk=False).get_matching_blocks()
    return sum(block.size for block in blocks if block.size >= shortest) / len(wanted)


def tail(message):
    """The last fifth of a message, in whole words."""
    words = message.split()
    return " ".join(words[-max(1, round(len(words) * TAIL_PART)):])


UPSCALES = (Image.NEAREST, Image.LANCZOS)


def _tesseract(image, mode, upscale):
    """The text tesseract reads in an image, after a 3x upscale in grayscale with this filter."""
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "in.png")
        image = image.convert("L")
        image.resize((image.width * 3, image.height * 3), upscale).save(path)
        result = subprocess.run(["tesseract", path, "-", "--psm", mode], capture_output=True, text=True,
                                env=dict(os.environ, OMP_THREAD_LIMIT="1"))
    if result.returncode != 0:
        raise RuntimeError(f"tesseract failed: {result.stderr.strip()}")
    return result.stdout


def _longest_run(pixels, y, width):
    """(length, colour, last x) of the longest run of one colour in row y."""
    best, run, colour = (0, None, 0), 0, None
    for x in range(width):
        run = run + 1 if pixels[x, y] == colour else 1
        colour = pixels[x, y]
        if run > best[0]:
            best = (run, colour, x)
    return best


def caption_bars(image):
    """The caption bars of the screens in a screenshot, as boxes (left, top, right, bottom): bands of
    eight rows or more, each filled over a quarter of its width by one colour other than the screens'
    face. Thinner bands are frames and edges."""
    rgb = image.convert("RGB")
    width, height = rgb.size
    pixels = rgb.load()
    face = max(rgb.getcolors(width * height))[1]
    bars, band = [], None  # band: [colour, top, left, right]
    for y in range(height + 1):
        length, colour, end = _longest_run(pixels, y, width) if y < height else (0, None, 0)
        in_bar = length > width // 4 and colour != face
        if band and (not in_bar or colour != band[0]):
            if y - band[1] >= 8:
                bars.append((band[2], band[1], band[3], y))
            band = None
        if in_bar:
            if band is None:
                band = [colour, y, end - length + 1, end + 1]
            band[2], band[3] = min(band[2], end - length + 1), max(band[3], end + 1)
    return bars


def read(png):
    """(titles, bodies): the text of each caption bar, read from its negative (light text on a dark bar
    reads better dark on light), and the text of the whole screenshot, each read both ways."""
    image = Image.open(png)
    titles = [_tesseract(Image.eval(image.crop(box).convert("L"), lambda v: 255 - v), "7", upscale).strip()
              for box in caption_bars(image) for upscale in UPSCALES]
    return titles, [_tesseract(image, "11", upscale) for upscale in UPSCALES]


def best_share(expected, readings):
    return max((found_share(expected, reading) for reading in readings), default=0.0)


def problems(png, layout, message, messages, behind=(), scores=None):
    """What a user could not read on a screenshot whose front screen has this layout (its template, as
    resources.dialog gives it) and shows this message (its number); behind names the messages of
    screens partly hidden beneath it. An empty list means the screen reads as it should. scores, a
    dict, gets each share that was measured, by what it is the share of."""
    titles, bodies = read(png)
    scores = {} if scores is None else scores
    found = []
    scores["title"] = best_share(layout.title, titles)
    if scores["title"] < TITLE_SHARE:
        found.append(f"title {layout.title!r} not in the caption bars (best {scores['title']:.2f}; read {titles!r})")
    for label in layout.buttons.values():
        scores[f"button {label!r}"] = share = best_share(label, bodies)
        if share < LABEL_SHARE:
            found.append(f"button {label!r} not read ({share:.2f})")
    text = messages[message]
    scores["message"] = share = best_share(text, bodies)
    if share < MESSAGE_SHARE:
        found.append(f"message {message} not read whole ({share:.2f})")
    scores["its end"] = tail_share = best_share(tail(text), bodies)
    if tail_share < TAIL_SHARE:
        found.append(f"message {message} cut off: its end {tail(text)!r} not read ({tail_share:.2f})")
    for other, other_text in messages.items():
        other_share = best_share(other_text, bodies)
        if other != message and other not in behind and other_share and other_share >= share:
            found.append(f"message {other} reads as well as message {message} ({other_share:.2f} against {share:.2f})")
    if found:
        found.extend(f"read: {' '.join(body.split())!r}" for body in bodies)
    return found
