"""Reading an IBIS-AMI parameter file (.ami): its tree of parenthesised
lists, and the values a model declares for each of its parameters, so that a
sweep can ask for "every value the model allows".

The forms read are those of IBIS-AMI 7: a parameter is a list whose children
include (Usage ...) and (Type ...), and whose values come from (List ...),
(Range typ min max), (Increment typ min max delta), (Steps typ min max n),
(Corner typ slow fast) or (Value v), either directly or after the older
(Format Range ...) keyword.
"""
import math
import re
from dataclasses import dataclass

_TOKEN = re.compile(r'\s*(?:(\()|(\))|"((?:[^"\\]|\\.)*)"|([^\s()"]+))', re.S)


class AmiFileError(ValueError):
    pass


@dataclass(frozen=True)
class Atom:
    text: str
    quoted: bool


def parse_tree(text, name="<ami>"):
    """The file's top-level list as nested Python lists of Atoms."""
    stack = [[]]
    position = 0
    while True:
        match = _TOKEN.match(text, position)
        if not match:
            if text[position:].strip():
                raise AmiFileError(f"{name}: cannot read from offset {position}")
            break
        position = match.end()
        opening, closing, quoted, bare = match.groups()
        if opening:
            stack.append([])
        elif closing:
            if len(stack) == 1:
                raise AmiFileError(f"{name}: ')' without '(' at offset {match.start()}")
            done = stack.pop()
            stack[-1].append(done)
        elif quoted is not None:
            stack[-1].append(Atom(quoted, True))
        else:
            stack[-1].append(Atom(bare, False))
    if len(stack) != 1:
        raise AmiFileError(f"{name}: {len(stack) - 1} '(' left open at the end")
    lists = [node for node in stack[0] if isinstance(node, list)]
    if len(lists) != 1 or not lists[0] or not isinstance(lists[0][0], Atom):
        raise AmiFileError(f"{name}: expected one list (ROOT_NAME ...)")
    return lists[0]


def _head(node):
    return node[0].text if isinstance(node, list) and node and isinstance(node[0], Atom) else None


def _child(node, name):
    for item in node[1:]:
        if _head(item) == name:
            return item
    return None


def _atoms(node):
    return [item.text for item in node[1:] if isinstance(item, Atom)]


@dataclass(frozen=True)
class AmiParameter:
    name: str
    usage: str
    type: str
    form: str  # List, Range, Increment, Steps, Corner or Value
    values: tuple  # the declared numbers or strings, as written
    default: object

    def is_integer(self):
        return self.type.lower() == "integer"

    def is_number(self):
        return self.type.lower() in ("integer", "float", "ui", "tap")

    def convert(self, text):
        if self.type.lower() == "integer":
            return int(text)
        if self.is_number():
            return float(text)
        return text

    def expand(self, count=None, log=False):
        """Every value the declaration allows: a List's entries, an integer
        Range's every integer, an Increment's or Steps' grid, a Corner's
        three values; a Range of another type needs a count (log: spaced by
        ratio instead of difference)."""
        form = self.form
        if form in ("List", "Value"):
            return [self.convert(v) for v in self.values]
        if form == "Corner":
            seen = []
            for v in self.values[:3]:
                if self.convert(v) not in seen:
                    seen.append(self.convert(v))
            return seen
        low, high = (self.convert(v) for v in self.values[1:3])
        if form == "Increment":
            return arithmetic(low, high, self.convert(self.values[3]))
        if form == "Steps":
            return spaced(low, high, int(self.values[3]) + 1, log, self.is_integer())
        if count is None:
            if not self.is_integer():
                raise AmiFileError(f"{self.name}: a Range of {self.type} needs a count")
            return list(range(low, high + 1))
        return spaced(low, high, count, log, self.is_integer())

    def allows(self, value):
        """Whether a value lies within the declaration (a List's entries, a
        range's bounds); strings are compared as written."""
        try:
            if self.form in ("List", "Value", "Corner"):
                return any(self.convert(v) == self.convert(str(value)) for v in self.values)
            low, high = (self.convert(v) for v in self.values[1:3])
            number = self.convert(str(value))
            return low <= number <= high
        except ValueError:
            return False

    def describe(self):
        return f"({self.form} {' '.join(self.values)})"


def arithmetic(low, high, step):
    """low, low+step, ... up to high (inclusive, within rounding)."""
    if step == 0 or (high - low) / step < 0:
        raise AmiFileError(f"step {step} does not lead from {low} to {high}")
    n = int(math.floor((high - low) / step + 1e-9)) + 1
    values = [low + k * step for k in range(n)]
    if all(isinstance(v, int) for v in (low, high, step)):
        return values
    return [float(v) for v in values]


def spaced(low, high, count, log=False, integer=False):
    """count values from low to high, evenly spaced (by ratio with log)."""
    if count < 1:
        raise AmiFileError("a count must be at least 1")
    if count == 1:
        return [low]
    if log:
        if low <= 0 or high <= 0:
            raise AmiFileError("log spacing needs positive ends")
        values = [low * (high / low) ** (k / (count - 1)) for k in range(count)]
    else:
        values = [low + (high - low) * k / (count - 1) for k in range(count)]
    values[-1] = high
    if integer:
        return sorted(set(int(round(v)) for v in values))
    return values


_FORMS = ("List", "Range", "Increment", "Steps", "Corner", "Value")


def _parameter(node):
    name = _head(node)
    usage, kind = _child(node, "Usage"), _child(node, "Type")
    if usage is None or kind is None:
        return None
    declaration = _child(node, "Format") or node
    form = None
    values = ()
    for candidate in _FORMS:
        if declaration is node:
            found = _child(node, candidate)
            if found is not None:
                form, values = candidate, tuple(_atoms(found))
                break
        elif _atoms(declaration)[:1] == [candidate]:
            form, values = candidate, tuple(_atoms(declaration)[1:])
            break
    if form is None:
        return None
    needed = {"Range": 3, "Increment": 4, "Steps": 4, "Corner": 3}.get(form, 1)
    if len(values) < needed:
        raise AmiFileError(f"{name}: ({form} ...) needs {needed} values, has {len(values)}")
    default = _child(node, "Default")
    return AmiParameter(name, (_atoms(usage) or [""])[0], (_atoms(kind) or [""])[0], form, values,
                        (_atoms(default) or [None])[0] if default else None)


def _walk(node, found):
    for item in node[1:]:
        if not isinstance(item, list) or not item:
            continue
        parameter = _parameter(item)
        if parameter is not None:
            found[parameter.name] = parameter
        else:
            _walk(item, found)


@dataclass
class AmiFile:
    path: str
    root: str
    parameters: dict  # name -> AmiParameter, the model-specific ones

    def settable(self, name):
        parameter = self.parameters.get(name)
        return parameter if parameter and parameter.usage in ("In", "InOut") else None


def read_ami_file(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        tree = parse_tree(f.read(), path)
    found = {}
    specific = _child(tree, "Model_Specific")
    _walk(specific if specific is not None else tree, found)
    return AmiFile(path, tree[0].text, found)
