#!/usr/bin/env python3
"""Check the language files against each other and against the keys the program needs.

Usage: check-language-files.py <repository root>

Every language named in language/LanguageIndex.ini must have a file that
  - is UTF-8 without a byte-order mark and holds one [text] section,
  - defines every key of language/keys.txt and every IDCS_ key the program's
    C++ sources mention (tests and benchmarks aside), each with a non-empty text,
  - defines exactly the same keys as the other language files, once each,
    sorted by key,
  - uses the same placeholders (%1, %2, ...) as the other files for each key,
    because the callers fill them by number.
The files are read with the rules of the program's own reader: "key=value"
with key and value trimmed, ";" or "#" at the start of a line for comments,
values optionally in double quotes, and the escapes \\n, \\t, \\\\ and \\".
Exits with 0 when everything holds and 1 (after listing every problem) otherwise.
"""

import os
import pathlib
import re
import sys

KEY_PATTERN = re.compile(r"\bIDCS_[A-Z0-9_]*[A-Z0-9]")
PLACEHOLDER_PATTERN = re.compile(r"%(\d+)")
SOURCE_SUFFIXES = {".cpp", ".cc", ".h", ".hpp"}
# Tests and benchmarks look up keys of their own fixture files, not of the program.
SKIPPED_DIRECTORIES = {".git", "build", "out", "__pycache__", "tests", "bench"}
ESCAPES = {"n": "\n", "t": "\t", "\\": "\\", '"': '"'}


class LanguageFile:
    def __init__(self, path):
        self.path = path
        self.texts = {}
        self.order = []
        self.problems = []

    def problem(self, line_number, message):
        self.problems.append(f"{self.path.name}:{line_number}: {message}")


def decode_value(raw):
    """Returns the text of a value as the reader sees it, or None when it is malformed."""
    value = raw.strip()
    quoted = len(value) >= 2 and value[0] == '"' and value[-1] == '"'
    if quoted:
        value = value[1:-1]
    text = []
    position = 0
    while position < len(value):
        character = value[position]
        if character == "\\":
            if position + 1 >= len(value) or value[position + 1] not in ESCAPES:
                return None
            text.append(ESCAPES[value[position + 1]])
            position += 2
            continue
        if character == '"' and quoted:
            return None
        text.append(character)
        position += 1
    return "".join(text)


def read_language_file(path):
    result = LanguageFile(path)
    data = path.read_bytes()
    if data.startswith(b"\xef\xbb\xbf"):
        result.problem(1, "starts with a byte-order mark")
        data = data[3:]
    try:
        content = data.decode("utf-8")
    except UnicodeDecodeError as error:
        result.problem(0, f"is not valid UTF-8 ({error})")
        return result
    section = None
    for line_number, line in enumerate(content.splitlines(), start=1):
        stripped = line.strip()
        if not stripped or stripped[0] in ";#":
            continue
        if stripped.startswith("[") and stripped.endswith("]"):
            section = stripped[1:-1].strip()
            if section.lower() != "text":
                result.problem(line_number, f"unexpected section [{section}]")
            continue
        if "=" not in stripped:
            result.problem(line_number, "line is neither a section, a comment nor key=value")
            continue
        key, raw_value = stripped.split("=", 1)
        key = key.strip()
        if section is None or section.lower() != "text":
            result.problem(line_number, f"{key} lies outside the [text] section")
            continue
        if not KEY_PATTERN.fullmatch(key):
            result.problem(line_number, f"{key!r} is not a message key")
            continue
        if key in result.texts:
            result.problem(line_number, f"{key} is defined twice")
            continue
        text = decode_value(raw_value)
        if text is None:
            result.problem(line_number, f"{key} has a malformed quote or escape")
            continue
        result.texts[key] = text
        result.order.append(key)
    if result.order != sorted(result.order):
        result.problem(0, "keys are not sorted")
    return result


def read_index(language_dir):
    """Returns the language names of the index, in file order."""
    index = language_dir / "LanguageIndex.ini"
    names = []
    section = None
    for line in index.read_text(encoding="utf-8").splitlines():
        stripped = line.strip()
        if not stripped or stripped[0] in ";#":
            continue
        if stripped.startswith("[") and stripped.endswith("]"):
            section = stripped[1:-1].strip().lower()
            continue
        if section == "languages" and "=" in stripped:
            names.append(stripped.split("=", 1)[1].strip())
    return names


def required_keys(root):
    """Keys of keys.txt plus every key the C++ sources mention, each with where it comes from."""
    keys = {}
    for line in (root / "language" / "keys.txt").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if line and not line.startswith("#"):
            keys.setdefault(line, "language/keys.txt")
    for directory, subdirectories, file_names in os.walk(root):
        subdirectories[:] = sorted(d for d in subdirectories if d not in SKIPPED_DIRECTORIES)
        for file_name in sorted(file_names):
            path = pathlib.Path(directory) / file_name
            if path.suffix not in SOURCE_SUFFIXES:
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for key in KEY_PATTERN.findall(text):
                keys.setdefault(key, str(path.relative_to(root)))
    return keys


def placeholders(text):
    return sorted(set(PLACEHOLDER_PATTERN.findall(text)), key=int)


def check(root):
    language_dir = root / "language"
    problems = []
    names = read_index(language_dir)
    if not names:
        return ["LanguageIndex.ini names no language"]
    files = []
    for name in names:
        path = language_dir / f"{name}.ini"
        if not path.is_file():
            problems.append(f"{path.name}: listed in LanguageIndex.ini but missing")
            continue
        files.append(read_language_file(path))
    for language in files:
        problems.extend(language.problems)

    for language in files:
        for key, text in sorted(language.texts.items()):
            numbers = [int(n) for n in placeholders(text)]
            if numbers != list(range(1, len(numbers) + 1)):
                problems.append(f"{language.path.name}: {key} skips a placeholder number: {numbers}")

    for key, origin in sorted(required_keys(root).items()):
        for language in files:
            if key not in language.texts:
                problems.append(f"{language.path.name}: lacks {key} (used in {origin})")
            elif not language.texts[key].strip():
                problems.append(f"{language.path.name}: {key} is empty (used in {origin})")

    if files:
        reference = files[0]
        for language in files[1:]:
            for key in sorted(set(reference.texts) - set(language.texts)):
                problems.append(f"{language.path.name}: lacks {key}, which {reference.path.name} defines")
            for key in sorted(set(language.texts) - set(reference.texts)):
                problems.append(f"{reference.path.name}: lacks {key}, which {language.path.name} defines")
            for key in sorted(set(reference.texts) & set(language.texts)):
                expected = placeholders(reference.texts[key])
                found = placeholders(language.texts[key])
                if expected != found:
                    problems.append(
                        f"{language.path.name}: {key} uses placeholders {found}, "
                        f"{reference.path.name} uses {expected}"
                    )
    return problems


def main(arguments):
    if len(arguments) != 2:
        print(f"usage: {arguments[0]} <repository root>", file=sys.stderr)
        return 2
    root = pathlib.Path(arguments[1]).resolve()
    problems = check(root)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"{len(problems)} problem(s) in the language files", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
