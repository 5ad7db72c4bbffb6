"""Where each key of a TOML document stands: the line of every table
header, key and array element, so that a mistake found after tomllib has read
the file (a wrong type, an unknown parameter) can be named by line.

It follows the document's structure only (headers, keys, strings, arrays,
inline tables); tomllib has already checked the syntax, so it assumes valid
TOML.
"""
import bisect

_BARE = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-")


class TomlLines:
    def __init__(self, text):
        self._text = text
        self._newlines = [i for i, c in enumerate(text) if c == "\n"]
        self._lines = {}
        self._array_tables = {}
        self._pos = 0
        self._document()

    def line(self, path):
        """The line of a key path (a tuple of keys and array indices), or of
        the nearest enclosing key that has one; 1 if none does."""
        path = tuple(path)
        while path:
            if path in self._lines:
                return self._lines[path]
            path = path[:-1]
        return 1

    # The scanner.
    def _line_at(self, position):
        return bisect.bisect_right(self._newlines, position - 1) + 1

    def _record(self, path):
        self._lines.setdefault(path, self._line_at(self._pos))

    def _peek(self, n=1):
        return self._text[self._pos:self._pos + n]

    def _skip(self, newlines):
        while self._pos < len(self._text):
            c = self._text[self._pos]
            if c == "#":
                end = self._text.find("\n", self._pos)
                self._pos = len(self._text) if end < 0 else end
            elif c in " \t\r" or (newlines and c == "\n"):
                self._pos += 1
            else:
                break

    def _string(self):
        quote = self._peek()
        if self._peek(3) == quote * 3:
            end = self._text.find(quote * 3, self._pos + 3)
            self._pos = end + 3
            while self._peek() == quote:  # up to two quotes may end the content
                self._pos += 1
            return None
        self._pos += 1
        start = self._pos
        while self._text[self._pos] != quote:
            self._pos += 2 if quote == '"' and self._text[self._pos] == "\\" else 1
        self._pos += 1
        return self._text[start:self._pos - 1]

    def _key(self):
        keys = []
        while True:
            self._skip(False)
            if self._peek() in "\"'":
                keys.append(self._string())
            else:
                start = self._pos
                while self._pos < len(self._text) and self._text[self._pos] in _BARE:
                    self._pos += 1
                keys.append(self._text[start:self._pos])
            self._skip(False)
            if self._peek() != ".":
                return tuple(keys)
            self._pos += 1

    def _value(self, path):
        self._skip(False)
        c = self._peek()
        if c in "\"'":
            self._string()
        elif c == "[":
            self._pos += 1
            index = 0
            while True:
                self._skip(True)
                if self._peek() == "]":
                    self._pos += 1
                    return
                self._record(path + (index,))
                self._value(path + (index,))
                self._skip(True)
                if self._peek() == ",":
                    self._pos += 1
                    index += 1
        elif c == "{":
            self._pos += 1
            while True:
                self._skip(False)
                if self._peek() == "}":
                    self._pos += 1
                    return
                if self._peek() == ",":
                    self._pos += 1
                    continue
                start = self._pos
                keys = self._key()
                self._lines.setdefault(path + keys, self._line_at(start))
                self._pos += 1  # '='
                self._value(path + keys)
        else:
            while self._pos < len(self._text) and self._text[self._pos] not in ",]}\n#":
                self._pos += 1

    def _document(self):
        table = ()
        while True:
            self._skip(True)
            if self._pos >= len(self._text):
                return
            if self._peek(2) == "[[":
                self._pos += 2
                name = self._key()
                index = self._array_tables.get(name, 0)
                self._array_tables[name] = index + 1
                table = name + (index,)
                self._record(name)
                self._record(table)
                self._pos += 2
            elif self._peek() == "[":
                self._pos += 1
                table = self._key()
                self._record(table)
                self._pos += 1
            else:
                start = self._pos
                keys = self._key()
                self._lines.setdefault(table + keys, self._line_at(start))
                self._pos += 1  # '='
                self._value(table + keys)
