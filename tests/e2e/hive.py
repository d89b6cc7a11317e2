"""The settings hive file as a person with a text editor sees it."""

import os
import re

HEADER = "Windows Registry Editor Version 5.00"
KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Zandrel"

_STRING = re.compile(r'^"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"$')
_EXPANDABLE = re.compile(r'^"((?:[^"\\]|\\.)*)"=hex\(2\):([0-9a-fA-F,\\\s]*)$')


def path(config_home):
    return os.path.join(config_home, "zandrel", "registry.reg")


def _unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def _escape(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def _decode_hex(digits):
    raw = bytes(int(b, 16) for b in re.sub(r"[\\\s]", "", digits).split(",") if b)
    return raw.decode("utf-16-le").rstrip("\0")


def read_text(file_path):
    with open(file_path, "rb") as handle:
        raw = handle.read()
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    return raw.decode("utf-8")


def read(file_path):
    """The values of every key: {key: {name: text}}; an expandable string as stored."""
    keys, current = {}, None
    lines = read_text(file_path).replace("\r\n", "\n").split("\n")
    # A long hex value continues on the next line after a trailing backslash.
    joined, pending = [], ""
    for line in lines:
        if line.endswith("\\") and "=hex" in (pending + line):
            pending += line[:-1]
            continue
        joined.append(pending + line)
        pending = ""
    for line in joined:
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and (m := _STRING.match(line)):
            current[_unescape(m.group(1))] = _unescape(m.group(2))
        elif current is not None and (m := _EXPANDABLE.match(line)):
            current[_unescape(m.group(1))] = _decode_hex(m.group(2))
    return keys


def settings(config_home):
    """The three settings, or None while the hive does not exist."""
    file_path = path(config_home)
    if not os.path.exists(file_path):
        return None
    return read(file_path).get(KEY)


def write(config_home, values):
    """A hive as an earlier session would have left it."""
    os.makedirs(os.path.dirname(path(config_home)), exist_ok=True)
    lines = [HEADER, "", "[%s]" % KEY]
    lines += ['"%s"="%s"' % (_escape(k), _escape(v)) for k, v in values.items()]
    with open(path(config_home), "w", encoding="utf-8") as handle:
        handle.write("\n".join(lines) + "\n")
