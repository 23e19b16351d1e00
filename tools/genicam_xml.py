#!/usr/bin/env python3
"""Generates the GenICam XML of a simulated camera from its JSON description.

Aravis's fake GigE Vision camera (arv-fake-gv-camera-0.8 -g FILE) serves the
XML; every feature becomes plain memory in the fake camera's 64 KiB register
window, except those the fake camera acts on (image size and format,
acquisition, frame trigger, frame rate, exposure, packet size), which are
served from its own registers so that it streams what they say. The power-up
file lists the register writes that give the features their start values.
See docs/genicam-xml.md.

    genicam_xml.py CAMERA.json -o OUT.xml [--powerup OUT.powerup]
    genicam_xml.py CAMERA.json --check OUT.xml [--check-powerup OUT.powerup]
"""

import argparse
import hashlib
import json
import math
import os
import re
import struct
import sys
import uuid
from xml.sax.saxutils import escape, quoteattr

FIRST_ADDRESS = 0x1000  # below: the GigE Vision bootstrap registers
END_ADDRESS = 0x10000  # the fake camera's register window; its XML lies above
SERIAL_ADDRESS = 0x00D8  # bootstrap serial number, set by the fake camera's -s
SERIAL_LENGTH = 16
CONSTANT_STRINGS = ("DeviceVendorName", "DeviceModelName")
INT64_MIN, INT64_MAX = -(1 << 63), (1 << 63) - 1
INT32_MIN, INT32_MAX = -(1 << 31), (1 << 31) - 1
NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")
VISIBILITIES = ("Beginner", "Expert", "Guru", "Invisible")
REPRESENTATIONS = ("Linear", "Logarithmic", "PureNumber", "HexNumber", "IPV4Address", "MACAddress", "Boolean")
# Aravis's formula evaluator reads these words (in any case) as functions or
# constants, so a variable may not be called so.
FORMULA_WORDS = {"SIN", "COS", "TAN", "ASIN", "ACOS", "ATAN", "ABS", "EXP", "LN", "LG", "SQRT",
                 "TRUNC", "ROUND", "FLOOR", "CEIL", "SGN", "NEG", "PI", "E"}
NAMESPACE = uuid.UUID("0b6a3f52-1d0e-4c39-9a51-6f2b8c7d4e10")  # ours; makes the GUIDs reproducible


class Refused(Exception):
    """The description holds something this tool or GenICam cannot carry."""


def fail(where, problem):
    raise Refused(f"{where}: {problem}" if where else problem)


# ---------------------------------------------------------------- values

def to_int(value, where):
    """An integer as the simulator reads one: a number or a (0x...) text."""
    if isinstance(value, bool):
        fail(where, f"expected an integer, got {json.dumps(value)}")
    if isinstance(value, float):
        if not value.is_integer():
            fail(where, f"expected an integer, got {value!r}")
        value = int(value)
    elif isinstance(value, str):
        text = value
        try:
            if len(text) > 2 and text[:2] in ("0x", "0X") and text[2] not in "+-":
                value = int(text[2:], 16)
            else:
                value = int(text, 10)
        except ValueError:
            fail(where, f"bad integer {text!r}")
    elif not isinstance(value, int):
        fail(where, f"expected an integer, got {json.dumps(value)}")
    if not INT64_MIN <= value <= INT64_MAX:
        fail(where, f"integer {value} out of the 64-bit signed range")
    return value


def to_float(value, where):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        fail(where, f"expected a number, got {json.dumps(value)}")
    return float(value)


def float_text(value):
    """The shortest text that reads back as the same double."""
    return repr(float(value))


# ---------------------------------------------------------------- model

class Feature:
    def __init__(self, raw, where):
        self.raw = raw
        self.name = raw["name"]
        self.type = raw["type"]
        self.where = where
        self.selector = None  # Feature
        self.selected = []  # Features, in file order
        self.entries = []  # (name, value, raw entry or None)
        self.validValues = None
        self.register = None  # Register, set by the layout
        if self.type == "Enumeration":
            self._parse_entries()
        elif self.type == "Integer":
            self.min = to_int(raw.get("min", 0), where + ", min")
            self.max = to_int(raw.get("max", INT64_MAX), where + ", max")
            self.inc = to_int(raw.get("inc", 1), where + ", inc")
            if self.inc < 1:
                fail(where, "inc must be at least 1")
            if "validValues" in raw:
                values = raw["validValues"]
                if not isinstance(values, list) or not values:
                    fail(where, "validValues must be a non-empty array")
                self.validValues = sorted(to_int(v, where + ", validValues") for v in values)
                self.min, self.max = self.validValues[0], self.validValues[-1]
            if self.min > self.max:
                fail(where, "min is above max")
        elif self.type == "Float":
            self.min = to_float(raw.get("min", 0.0), where + ", min")
            self.max = to_float(raw.get("max", 1e300), where + ", max")
            self.inc = to_float(raw["inc"], where + ", inc") if "inc" in raw else None
        elif self.type == "String":
            self.length = to_int(raw.get("maxLength", 256), where + ", maxLength")
        elif self.type == "Raw":
            self.length = to_int(raw.get("size", 16), where + ", size")
        elif self.type not in ("Boolean", "Command"):
            fail(where, f"unknown type {self.type!r}")
        if self.type in ("String", "Raw") and self.length < 1:
            fail(where, "a register needs at least one byte")

    def _parse_entries(self):
        entries = self.raw.get("entries")
        if not isinstance(entries, list) or not entries:
            fail(self.where, "an enumeration needs a non-empty 'entries' array")
        names, values = set(), set()
        for position, entry in enumerate(entries):
            if isinstance(entry, str):
                name, value, raw = entry, position, None
            elif isinstance(entry, dict) and isinstance(entry.get("name"), str):
                name, raw = entry["name"], entry
                value = to_int(entry.get("value", position), f"{self.where}, entry {name!r}")
            else:
                fail(self.where, f"entry {position} must be a name or an object with a name")
            if not NAME.match(name):
                fail(self.where, f"entry name {name!r} is not a GenICam name (letters, digits, _)")
            if name in names or value in values:
                fail(self.where, f"entry {name!r} repeats a name or the value {value}")
            names.add(name)
            values.add(value)
            self.entries.append((name, value, raw))

    def entry_value(self, name, where):
        for entry_name, value, _ in self.entries:
            if entry_name == name:
                return value
        fail(where, f"{self.name} has no entry {name!r}")

    # The values a selector steps through, in slot order.
    def selector_values(self):
        if self.type == "Enumeration":
            return [value for _, value, _ in self.entries]
        if self.validValues is not None:
            return list(self.validValues)
        return range(self.min, self.max + 1, self.inc)

    def selector_value(self, key, where):
        """The value a `values` key names: an entry name or a decimal integer."""
        if self.type == "Enumeration":
            return self.entry_value(key, where)
        try:
            value = int(key, 10)
        except ValueError:
            value = None
        if value is None or str(value) != key or value not in self.selector_values():
            fail(where, f"{key!r} is not a value of {self.name}")
        return value

    def chain(self):
        """The selectors above this feature, nearest first."""
        chain, at = [], self.selector
        while at is not None:
            if at in chain or len(chain) == 16:
                fail(self.where, "its selectors select each other in a loop or more than 16 deep")
            chain.append(at)
            at = at.selector
        return chain


class Camera:
    def __init__(self, description):
        features = description.get("features") if isinstance(description, dict) else None
        if not isinstance(features, list):
            fail("", "the description needs a 'features' array")
        self.features, self.by_name = [], {}
        for position, raw in enumerate(features):
            if not isinstance(raw, dict) or not isinstance(raw.get("name"), str):
                fail(f"features[{position}]", "a feature needs a name")
            where = f"feature {raw['name']!r}"
            if not NAME.match(raw["name"]):
                fail(where, "not a GenICam name (letters, digits, _)")
            if raw["name"] in self.by_name:
                fail(where, "the name is used twice")
            feature = Feature(raw, where)
            self.features.append(feature)
            self.by_name[feature.name] = feature
        for feature in self.features:
            selector_name = feature.raw.get("selectedBy")
            if selector_name is None:
                continue
            selector = self.by_name.get(selector_name)
            if selector is None or selector is feature or selector.type not in ("Enumeration", "Integer"):
                fail(feature.where, f"selectedBy {selector_name!r} is not another Enumeration or Integer")
            feature.selector = selector
            selector.selected.append(feature)
            if len(selector.selector_values()) > 4096:
                fail(selector.where, "a selector with more than 4096 values")
        for feature in self.features:
            feature.chain()
            if feature.name in CONSTANT_STRINGS + ("DeviceSerialNumber",) and (
                    feature.type != "String" or feature.selector or feature.selected):
                fail(feature.where, "must be an unselected String: it maps to a constant or bootstrap register")

    def find(self, name, where):
        feature = self.by_name.get(name)
        if feature is None:
            fail(where, f"names unknown feature {name!r}")
        return feature

    def vendor_and_model(self):
        def text(name):
            feature = self.by_name.get(name)
            value = feature.raw.get("value") if feature else None
            return value if isinstance(value, str) and value else "Unknown"
        return text("DeviceVendorName"), text("DeviceModelName")


def variable(name, where):
    if name.upper() in FORMULA_WORDS:
        fail(where, f"{name!r} is a word of GenICam formulas and cannot name a variable")
    return name


def minus(var, offset):
    """var - offset, parenthesised unless it is the bare variable."""
    if offset == 0:
        return var
    return f"({var}-{offset})" if offset > 0 else f"({var}+{-offset})"


def slot_term(selector):
    """A formula giving a selector's slot, 0..n-1, from its current value."""
    var = variable(selector.name, selector.where)
    values = list(selector.selector_values())
    if len(values) == 1:
        return "0"
    if selector.type == "Integer" and selector.validValues is None:
        # Writes outside the range would otherwise reach other features' registers.
        step = minus(var, selector.min)
        step = f"{step}/{selector.inc}" if selector.inc != 1 else step
        return f"(({var}>={selector.min})&&({var}<={selector.max}))?{step}:0"
    if values == list(range(values[0], values[0] + len(values))):
        return minus(var, values[0])
    # Non-contiguous values: sum of (value matches) * slot; an unknown value gives slot 0.
    return "+".join(f"({var}={value})*{slot}" for slot, value in enumerate(values) if slot)


def index_formula(chain):
    """Slot of the current selector values along a chain (nearest selector first)."""
    formula = slot_term(chain[-1])
    for selector in reversed(chain[:-1]):
        formula = f"({slot_term(selector)})+{len(selector.selector_values())}*({formula})"
    return formula


def slot_of(chain, values):
    """The slot the formula above gives for the chain's values (nearest first)."""
    slot = 0
    for selector, value in reversed(list(zip(chain, values))):
        slot = slot * len(selector.selector_values()) + list(selector.selector_values()).index(value)
    return slot


def comparable(camera, feature, text, where):
    """The number a condition's value text stands for, as the formula compares it."""
    if isinstance(text, bool):
        text = "true" if text else "false"
    elif isinstance(text, float):
        text = str(int(text)) if text.is_integer() else repr(text)
    elif isinstance(text, int):
        text = str(text)
    elif not isinstance(text, str):
        fail(where, f"a condition value must be a text, number or boolean, not {json.dumps(text)}")
    if feature.type == "Enumeration":
        return feature.entry_value(text, where)
    if feature.type == "Boolean":
        if text not in ("true", "false"):
            fail(where, f"{feature.name} is a Boolean: compare it with true or false, not {text!r}")
        return 1 if text == "true" else 0
    if feature.type == "Integer":
        if not re.match(r"^-?[0-9]+$", text) or str(int(text)) != text:
            fail(where, f"{feature.name} is an Integer: {text!r} is not a decimal integer")
        return to_int(text, where)
    fail(where, f"GenICam formulas compare numbers; a condition on the {feature.type} {feature.name} "
                "cannot be carried")


def condition(camera, cond, where, negate_all=False):
    """(variables, formula) of a condition: 1 when it holds, else 0 (the
    other way round with negate_all, as a lock needs it).

    Variables map formula names to the nodes they read. A Boolean is read
    through its register, since Aravis's SwissKnife cannot read a Boolean node.
    """
    if not isinstance(cond, dict):
        fail(where, "a condition must be an object of feature names")
    variables, members = {}, []
    for name, wanted in cond.items():
        feature = camera.find(name, where)
        negate = False
        if isinstance(wanted, dict):
            if list(wanted) != ["not"]:
                fail(where, f"condition on {name!r}: only {{\"not\": ...}} is allowed")
            negate, wanted = True, wanted["not"]
        wanted = wanted if isinstance(wanted, list) else [wanted]
        if not wanted:
            fail(where, f"condition on {name!r} lists no value")
        numbers = [comparable(camera, feature, text, where) for text in wanted]
        var = variable(name, where)
        variables[var] = feature.name + "_Reg" if feature.type == "Boolean" else feature.name
        op, join = ("<>", "&&") if negate else ("=", "||")
        terms = [f"({var}{op}{number})" for number in numbers]
        members.append(terms[0] if len(terms) == 1 else "(" + join.join(terms) + ")")
    formula = "&&".join(members)
    if negate_all:  # Aravis's evaluator has no unary not
        formula = f"{members[0]}=0" if len(members) == 1 else f"({formula})=0"
    return variables, formula


# ---------------------------------------------------------------- layout

class Register:
    def __init__(self, feature, kind, length, slot_size, slots):
        self.feature, self.kind, self.length = feature, kind, length
        self.slot_size, self.slots = slot_size, slots
        self.address = None
        self.fake = None  # FakeCoding: one of the fake camera's own registers

    @property
    def size(self):
        return self.slot_size * self.slots


def int_range(feature):
    """Smallest and largest value an IntReg of the feature holds."""
    if feature.type == "Integer":
        return feature.min, feature.max
    if feature.type == "Enumeration":
        values = [value for _, value, _ in feature.entries]
        return min(values), max(values)
    return 0, 1


def layout(camera, first=FIRST_ADDRESS, end=END_ADDRESS):
    """Gives every feature that keeps a value its register, in file order.

    Numbers take 8 bytes; only when that would not fit the window do the
    largest integer blocks whose range fits 32 bits shrink to 4 bytes.
    """
    registers = []
    for feature in camera.features:
        if feature.name in CONSTANT_STRINGS:
            continue
        if feature.name == "DeviceSerialNumber":
            feature.register = Register(feature, "string", SERIAL_LENGTH, SERIAL_LENGTH, 1)
            feature.register.address = SERIAL_ADDRESS
            continue
        slots = 1
        for selector in feature.chain():
            slots *= len(selector.selector_values())
        fake = fake_register(feature, slots)
        if fake is not None:
            feature.register = fake
            registers.append(fake)
            continue
        if feature.type in ("String", "Raw"):
            kind = "string" if feature.type == "String" else "raw"
            register = Register(feature, kind, feature.length, (feature.length + 3) // 4 * 4, slots)
        else:
            register = Register(feature, "float" if feature.type == "Float" else "int", 8, 8, slots)
        feature.register = register
        registers.append(register)
    space = end - first
    used = sum(r.size for r in registers if not r.fake)
    if used > space:
        shrinkable = sorted((r for r in registers if r.kind == "int" and not r.fake
                             and INT32_MIN <= int_range(r.feature)[0] <= int_range(r.feature)[1] <= INT32_MAX),
                            key=lambda r: -r.size)
        for register in shrinkable:
            if used <= space:
                break
            used -= register.size // 2
            register.length = register.slot_size = 4
    if used > space:
        fail("", f"the registers need {used} bytes, more than the {space} between "
                 f"0x{first:X} and 0x{end:X}")
    address = first
    for register in registers:
        if not register.fake:
            register.address = address
            address += register.size
    return registers


# ---------------------------------------------------------------- the fake camera's own registers

# Aravis's fake camera makes its images from registers of its own, 32 bits
# big-endian each (see /usr/include/aravis-0.8/arvfakecamera.h), and GigE
# Vision keeps a stream channel's packet size in a bootstrap register. The
# features they stand for are served from there: AcquisitionStart then makes
# the fake camera stream frames of the Width, Height and PixelFormat set.

# The GenICam pixel format number (PFNC) of each PixelFormat entry name.
PIXEL_FORMATS = {"Mono8": 0x01080001, "Mono10": 0x01100003, "Mono10p": 0x010A0046, "Mono12": 0x01100005,
                 "Mono12p": 0x010C0047, "Mono16": 0x01100007, "BayerRG8": 0x01080009, "BayerRG10": 0x0110000D,
                 "BayerRG10p": 0x010A0058, "BayerRG12": 0x01100011, "BayerRG12p": 0x010C0059,
                 "RGB8": 0x02180014, "BGR8": 0x02180015, "YCbCr422_8": 0x0210003B}
# Entries the fake camera has no number for get UNNAMED + position: clear of
# every number it knows, so that it does nothing with them.
UNNAMED = 0x10000
# Its trigger registers repeat every 0x20 bytes per trigger; the addresses
# below are FrameStart's. A feature selected by TriggerSelector keeps its
# other entries' values in the blocks around it, which must stay in the free
# memory between the bootstrap URL's text and the second URL.
TRIGGER_SELECTOR, TRIGGER_ENTRY, TRIGGER_BLOCK = "TriggerSelector", "FrameStart", 0x20
TRIGGER_WINDOW = (0x240, 0x400)


class FakeMapping:
    """Where a feature sits among the fake camera's registers.

    codes: an enumeration's register value per entry name; unit: a Float held
    as whole microseconds ("us") or as a frame period in microseconds of a
    rate in Hz ("period"); command: the value a command writes; bits: the
    field (msb, lsb) in GenICam's big-endian numbering, bit 0 the highest;
    trigger: one register per TriggerSelector entry.
    """
    def __init__(self, address, ftype, codes=None, unit=None, command=None, bits=(0, 31), trigger=False):
        self.address, self.type, self.codes, self.unit = address, ftype, codes, unit
        self.command, self.bits, self.trigger = command, bits, trigger


FAKE_REGISTERS = {
    "Width": FakeMapping(0x100, "Integer"),
    "Height": FakeMapping(0x104, "Integer"),
    "ExposureTime": FakeMapping(0x120, "Float", unit="us"),
    "AcquisitionStart": FakeMapping(0x124, "Command", command=1),
    "AcquisitionStop": FakeMapping(0x124, "Command", command=0),
    "AcquisitionAbort": FakeMapping(0x124, "Command", command=0),
    "PixelFormat": FakeMapping(0x128, "Enumeration", codes=PIXEL_FORMATS),
    "AcquisitionFrameRate": FakeMapping(0x138, "Float", unit="period"),
    "TriggerMode": FakeMapping(0x300, "Enumeration", codes={"Off": 0, "On": 1}, trigger=True),
    "TriggerSource": FakeMapping(0x304, "Enumeration", codes={"Line0": 0, "Software": 1}, trigger=True),
    "TriggerActivation": FakeMapping(0x308, "Enumeration", codes={"RisingEdge": 0}, trigger=True),
    "TriggerSoftware": FakeMapping(0x30C, "Command", command=1, trigger=True),
    # SCPS0: fire test packet, do not fragment, packet size.
    "GevSCPSFireTestPacket": FakeMapping(0xD04, "Boolean", bits=(0, 0)),
    "GevSCPSDoNotFragment": FakeMapping(0xD04, "Boolean", bits=(1, 1)),
    "GevSCPSPacketSize": FakeMapping(0xD04, "Integer", bits=(16, 31)),
}


class FakeCoding:
    """How one feature's value is written in its fake camera register."""
    def __init__(self, feature, mapping):
        self.feature, self.mapping = feature, mapping
        msb, lsb = mapping.bits
        self.shift, self.width = 31 - lsb, lsb - msb + 1
        self.table = None
        if feature.type == "Enumeration":
            self.table = {value: mapping.codes.get(name, UNNAMED + position)
                          for position, (name, value, _) in enumerate(feature.entries)}

    @property
    def converted(self):
        """Whether the register holds something else than the feature's own number."""
        return self.mapping.unit is not None or (
            self.table is not None and any(value != code for value, code in self.table.items()))

    def code(self, value):
        """The register field for a start value (an entry's value, a number, 0 or 1)."""
        if self.table is not None:
            return self.table[value]
        if self.mapping.unit == "us":
            return math.floor(value + 0.5)  # as the formula's ROUND: half away from zero
        if self.mapping.unit == "period":
            return math.floor(1e6 / value + 0.5)
        return value

    def value(self, code):
        """The feature's value for a register field: what the formulas read back."""
        if self.table is not None:
            return next((value for value, c in self.table.items() if c == code), 0)
        if self.mapping.unit == "us":
            return float(code)
        if self.mapping.unit == "period":
            return 1e6 / code
        return code

    def word(self, value):
        code = self.code(value)
        if not 0 <= code < (1 << self.width):
            fail(self.feature.where, f"value {value} does not fit the fake camera's register")
        return code << self.shift

    def formulas(self):
        """(FormulaTo, FormulaFrom) of the converter between feature and register."""
        if self.table is not None:
            to = "+".join(f"(FROM={value})*{code}" for value, code in self.table.items() if code)
            back = "+".join(f"(TO={code})*{value}" for value, code in self.table.items() if value)
            return to or "0", back or "0"
        if self.mapping.unit == "us":
            return "ROUND(FROM)", "TO"
        return "ROUND(1000000/FROM)", "1000000/TO"


def fake_register(feature, slots):
    """The feature's register among the fake camera's, or None where it has none or
    the feature does not fit it (type, range, selector)."""
    mapping = FAKE_REGISTERS.get(feature.name)
    if mapping is None or mapping.type != feature.type:
        return None
    coding = FakeCoding(feature, mapping)
    if feature.type == "Integer" and not 0 <= feature.min <= feature.max < (1 << coding.width):
        return None
    if feature.type == "Float" and not (feature.min > 0 if mapping.unit == "period" else feature.min >= 0):
        return None
    if feature.type == "Float" and not max(coding.code(feature.min), coding.code(feature.max)) < (1 << 31):
        return None
    if coding.table is not None and max(coding.table.values()) >= (1 << coding.width):
        return None
    register = Register(feature, "int", 4, 4, slots)
    register.address, register.fake = mapping.address, coding
    if slots > 1:
        # Only the trigger registers come per selector value, and only for one selector.
        selector = feature.selector
        if not mapping.trigger or feature.chain() != [selector] or selector.name != TRIGGER_SELECTOR \
                or TRIGGER_ENTRY not in [name for name, _, _ in selector.entries]:
            return None
        slot = [name for name, _, _ in selector.entries].index(TRIGGER_ENTRY)
        register.slot_size = TRIGGER_BLOCK
        register.address = mapping.address - slot * TRIGGER_BLOCK
        if register.address < TRIGGER_WINDOW[0] or register.address + register.size > TRIGGER_WINDOW[1]:
            return None
    return register


# ---------------------------------------------------------------- start values

def start_value(feature, value, where):
    """A JSON value of the feature's type, as the register holds it."""
    t = feature.type
    if t == "Integer":
        return to_int(value, where)
    if t == "Float":
        return to_float(value, where)
    if t == "Boolean":
        if not isinstance(value, bool):
            fail(where, f"a boolean value must be true or false, not {json.dumps(value)}")
        return int(value)
    if t == "Enumeration":
        if not isinstance(value, str):
            fail(where, f"an enumeration value must be an entry name, not {json.dumps(value)}")
        return feature.entry_value(value, where)
    if t == "String":
        if not isinstance(value, str):
            fail(where, f"a string value must be a JSON string, not {json.dumps(value)}")
        data = value.encode("utf-8")
        if len(data) > feature.length:
            fail(where, "text longer than maxLength")
        return data
    if t == "Raw":
        if not isinstance(value, str) or len(value) % 2 or not re.match(r"^[0-9A-Fa-f]*$", value):
            fail(where, "raw data must be a string of hexadecimal digit pairs")
        data = bytes.fromhex(value)
        if len(data) > feature.length:
            fail(where, "raw data longer than size")
        return data
    fail(where, "a command has no value")


def default_value(feature):
    if feature.type == "Integer":
        if feature.validValues is not None:
            return feature.validValues[0]
        return feature.min if not feature.min <= 0 <= feature.max else 0
    if feature.type == "Float":
        return feature.min if not feature.min <= 0.0 <= feature.max else 0.0
    if feature.type == "Enumeration":
        return feature.entries[0][1]
    return b"" if feature.type in ("String", "Raw") else 0


def slot_values(feature):
    """The start value of each slot of the feature's register."""
    where = feature.where
    if feature.type == "Command":
        return [0] * feature.register.slots
    value = start_value(feature, feature.raw["value"], where + ", value") if "value" in feature.raw \
        else default_value(feature)
    values = [value] * feature.register.slots
    per_entry = feature.raw.get("values")
    if per_entry is None:
        return values
    if feature.selector is None or not isinstance(per_entry, dict):
        fail(where + ", values", "per-entry values need 'selectedBy' and an object")
    chain = feature.chain()
    upper = [list(s.selector_values()) for s in chain[1:]]
    for key, given in per_entry.items():
        here = f"{where}, values {key!r}"
        own = feature.selector.selector_value(key, here)
        parsed = start_value(feature, given, here)
        # The value holds for this selector value whatever the selectors above it select.
        combos = [[]]
        for choices in upper:
            combos = [c + [v] for c in combos for v in choices]
        for combo in combos:
            values[slot_of(chain, [own] + combo)] = parsed
    return values


def encode(register, value):
    """The bytes of a start value in the register's slot (big-endian)."""
    if register.fake:
        return register.fake.word(value).to_bytes(4, "big")
    if register.kind == "int":
        bits = register.length * 8
        if not -(1 << (bits - 1)) <= value < (1 << (bits - 1)):
            fail(register.feature.where, f"value {value} does not fit {register.length} bytes")
        return (value & ((1 << bits) - 1)).to_bytes(register.length, "big")
    if register.kind == "float":
        return struct.pack(">d", value)
    return value.ljust(register.slot_size, b"\0")


def written_words(register, value):
    """The 32-bit words a fresh (all-zero) camera needs to hold the value."""
    data = encode(register, value)
    if register.fake and register.feature.type != "Command":
        # The fake camera gives its own registers start values of its own.
        return [int.from_bytes(data, "big")]
    if not any(data):
        return []
    if register.kind in ("int", "float"):
        keep = len(data)  # the whole number, high word first
    elif register.kind == "string":
        keep = min(len(value) + 1, register.slot_size)  # the text and its terminating zero
    else:
        keep = len(data.rstrip(b"\0"))
    keep = (keep + 3) // 4 * 4
    return [int.from_bytes(data[i:i + 4], "big") for i in range(0, keep, 4)]


def powerup(camera, registers):
    writes = {}
    for register in registers:
        for slot, value in enumerate(slot_values(register.feature)):
            base = register.address + slot * register.slot_size
            for i, word in enumerate(written_words(register, value)):
                # Fields of one register (the packet size's) share its word.
                writes[base + 4 * i] = writes.get(base + 4 * i, 0) | word
    return "".join(f"R[0x{address:04X}]=0x{word:08X}\n" for address, word in sorted(writes.items()))


# ---------------------------------------------------------------- XML

class Xml:
    def __init__(self):
        self.lines = []

    def open(self, tag, depth, **attributes):
        attrs = "".join(f" {key}={quoteattr(str(value))}" for key, value in attributes.items())
        self.lines.append(f"{'  ' * depth}<{tag}{attrs}>")

    def close(self, tag, depth):
        self.lines.append(f"{'  ' * depth}</{tag}>")

    def leaf(self, tag, text, depth, **attributes):
        text = str(text)
        if re.search(r"[\x00-\x08\x0b\x0c\x0e-\x1f]", text):
            fail("", f"control characters in {text[:40]!r} cannot be written in XML")
        attrs = "".join(f" {key}={quoteattr(str(value))}" for key, value in attributes.items())
        self.lines.append(f"{'  ' * depth}<{tag}{attrs}>{escape(text)}</{tag}>")


def check_names(camera, categories, helpers):
    """GenICam looks nodes up by name, so every node name must be unique."""
    seen = {}
    names = [(f.name, f.where) for f in camera.features] + [(c, f"category {c!r}") for c in categories] \
        + [(h, f"helper node {h!r}") for h in helpers] + [("Root", "the root category"), ("Device", "the port")]
    for name, where in names:
        if name in seen:
            fail(where, f"the node name {name!r} is also used by {seen[name]}")
        seen[name] = where


def category_tree(camera):
    """Parent path element to its children (categories and features), in file order."""
    children = {"Root": []}
    parent_of = {}
    for feature in camera.features:
        path = feature.raw.get("category", "")
        if not isinstance(path, str):
            fail(feature.where, "category must be a text")
        parent = "Root"
        for element in [p for p in path.split("/") if p]:
            if not NAME.match(element):
                fail(feature.where, f"category {element!r} is not a GenICam name")
            if element in parent_of and parent_of[element] != parent:
                fail(feature.where, f"category {element!r} appears under both {parent_of[element]!r} "
                                    f"and {parent!r}; GenICam category names must be unique")
            if element not in parent_of:
                parent_of[element] = parent
                children[parent].append(element)
                children[element] = []
            parent = element
        if path.strip("/"):
            children[parent].append(feature.name)
    return children


def node_base(xml, raw, depth, default_name=None):
    description = raw.get("description", "")
    xml.leaf("ToolTip", raw.get("tooltip", description), depth)
    xml.leaf("Description", description, depth)
    xml.leaf("DisplayName", raw.get("displayName", default_name), depth)
    visibility = raw.get("visibility", "Beginner")
    if visibility not in VISIBILITIES:
        fail(f"feature {raw.get('name')!r}", f"visibility {visibility!r} has no GenICam counterpart")
    xml.leaf("Visibility", visibility, depth)


def swiss_knife(xml, name, variables, formula):
    xml.open("IntSwissKnife", 1, Name=name, NameSpace="Custom")
    for var, node in variables.items():
        xml.leaf("pVariable", node, 2, Name=var)
    xml.leaf("Formula", formula, 2)
    xml.close("IntSwissKnife", 1)


def register_body(xml, feature, register, depth):
    access = "WO" if feature.type == "Command" else feature.raw.get("access", "RW")
    if access not in ("RO", "RW", "WO"):
        fail(feature.where, f"access {access!r} must be RO, RW or WO")
    xml.leaf("Address", f"0x{register.address:04X}", depth)
    if feature.selector is not None:
        xml.leaf("pIndex", feature.selector.name + "_Index", depth, Offset=register.slot_size)
    xml.leaf("Length", register.length, depth)
    xml.leaf("AccessMode", "RO" if feature.name == "DeviceSerialNumber" else access, depth)
    xml.leaf("pPort", "Device", depth)
    xml.leaf("Cachable", "NoCache" if feature.raw.get("volatile") else "WriteThrough", depth)
    if register.fake and register.fake.width < 32:
        msb, lsb = register.fake.mapping.bits
        if msb == lsb:
            xml.leaf("Bit", msb, depth)
        else:
            xml.leaf("LSB", lsb, depth)
            xml.leaf("MSB", msb, depth)
    if register.kind == "int":
        xml.leaf("Sign", "Unsigned" if register.fake else "Signed", depth)
    if register.kind in ("int", "float"):
        xml.leaf("Endianess", "BigEndian", depth)


def feature_nodes(camera, xml, feature, helpers):
    raw, name, t = feature.raw, feature.name, feature.type
    where = feature.where
    if name in CONSTANT_STRINGS:
        xml.open("String", 1, Name=name, NameSpace="Standard")
        node_base(xml, raw, 2, name)
        # The fake camera's own bootstrap registers say "Aravis" and its model.
        xml.leaf("ImposedAccessMode", "RO", 2)
        xml.leaf("Value", raw.get("value", ""), 2)
        xml.close("String", 1)
        return
    tag = {"Integer": "Integer", "Float": "Float", "Enumeration": "Enumeration", "Boolean": "Boolean",
           "Command": "Command", "String": "StringReg", "Raw": "Register"}[t]
    later = []  # helper nodes: (name, variables, formula)
    xml.open(tag, 1, Name=name, NameSpace="Standard")
    node_base(xml, raw, 2, name)
    for key, suffix, element in (("availableWhen", "_Available", "pIsAvailable"),
                                 ("writableWhen", "_Locked", "pIsLocked")):
        if raw.get(key):
            variables, formula = condition(camera, raw[key], f"{where}, {key}", negate_all=suffix == "_Locked")
            later.append((name + suffix, variables, formula))
            xml.leaf(element, name + suffix, 2)
    if t in ("String", "Raw"):
        register_body(xml, feature, feature.register, 2)
    else:
        if t == "Enumeration":
            for entry_name, value, entry in feature.entries:
                xml.open("EnumEntry", 2, Name=entry_name)
                if entry:
                    texts = (("ToolTip", entry.get("tooltip", entry.get("description"))),
                             ("Description", entry.get("description")),
                             ("DisplayName", entry.get("displayName")),
                             ("Visibility", entry.get("visibility")))
                    for tag_name, text in texts:
                        if text is not None:
                            xml.leaf(tag_name, text, 3)
                    if entry.get("visibility", "Beginner") not in VISIBILITIES:
                        fail(where, f"entry {entry_name!r}: visibility {entry['visibility']!r} "
                                    "has no GenICam counterpart")
                    if entry.get("availableWhen"):
                        helper = f"{name}_{entry_name}_Available"
                        variables, formula = condition(camera, entry["availableWhen"],
                                                       f"{where}, entry {entry_name!r}")
                        later.append((helper, variables, formula))
                        xml.leaf("pIsAvailable", helper, 3)
                xml.leaf("Value", value, 3)
                xml.close("EnumEntry", 2)
        fake = feature.register.fake
        converted = fake is not None and fake.converted
        xml.leaf("pValue", name + ("_Value" if converted else "_Reg"), 2)
        if t == "Integer":
            xml.leaf("Min", feature.min, 2)
            xml.leaf("Max", feature.max, 2)
            xml.leaf("Inc", feature.inc, 2)
        elif t == "Float":
            xml.leaf("Min", float_text(feature.min), 2)
            xml.leaf("Max", float_text(feature.max), 2)
            if feature.inc is not None:
                xml.leaf("Inc", float_text(feature.inc), 2)
        elif t == "Boolean":
            xml.leaf("OnValue", 1, 2)
            xml.leaf("OffValue", 0, 2)
        elif t == "Command":
            xml.leaf("CommandValue", fake.mapping.command if fake else 1, 2)
        if t in ("Integer", "Float"):
            representation = raw.get("representation", "Linear")
            if representation not in REPRESENTATIONS:
                fail(where, f"representation {representation!r} has no GenICam counterpart")
            xml.leaf("Representation", representation, 2)
            if raw.get("unit"):
                xml.leaf("Unit", raw["unit"], 2)
    for selected in feature.selected:
        xml.leaf("pSelected", selected.name, 2)
    xml.close(tag, 1)

    if t not in ("String", "Raw"):
        register = feature.register
        if register.fake and register.fake.converted:
            converter = "Converter" if t == "Float" else "IntConverter"
            xml.open(converter, 1, Name=name + "_Value", NameSpace="Custom")
            to, back = register.fake.formulas()
            xml.leaf("FormulaTo", to, 2)
            xml.leaf("FormulaFrom", back, 2)
            xml.leaf("pValue", name + "_Reg", 2)
            xml.close(converter, 1)
            helpers.append(name + "_Value")
        reg_tag = "FloatReg" if register.kind == "float" else \
            "MaskedIntReg" if register.fake and register.fake.width < 32 else "IntReg"
        xml.open(reg_tag, 1, Name=name + "_Reg", NameSpace="Custom")
        register_body(xml, feature, register, 2)
        xml.close(reg_tag, 1)
        helpers.append(name + "_Reg")
    for helper, variables, formula in later:
        swiss_knife(xml, helper, variables, formula)
        helpers.append(helper)
    if feature.selected:
        # One index per selector chain, shared by everything this selector selects.
        chain = feature.selected[0].chain()
        variables = {variable(s.name, s.where): s.name for s in chain}
        swiss_knife(xml, name + "_Index", variables, index_formula(chain))
        helpers.append(name + "_Index")


def source_label(path):
    """The input's path as the repository names it, whatever the working directory."""
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    relative = os.path.relpath(os.path.abspath(path), repo)
    return os.path.basename(path) if relative.startswith("..") else relative.replace(os.sep, "/")


def generate(description, source):
    """(xml text, power-up text, highest register address) of a parsed description."""
    camera = Camera(description)
    registers = layout(camera)
    children = category_tree(camera)
    vendor, model = camera.vendor_and_model()

    body = Xml()
    body.open("Category", 1, Name="Root", NameSpace="Standard")
    for child in children["Root"]:
        body.leaf("pFeature", child, 2)
    body.close("Category", 1)
    for category, items in children.items():
        if category == "Root":
            continue
        body.open("Category", 1, Name=category, NameSpace="Standard")
        for child in items:
            body.leaf("pFeature", child, 2)
        body.close("Category", 1)
    helpers = []
    for feature in camera.features:
        feature_nodes(camera, body, feature, helpers)
    body.lines.append('  <Port Name="Device" NameSpace="Standard"/>')
    check_names(camera, [c for c in children if c != "Root"], helpers)
    text = "\n".join(body.lines) + "\n"

    digest = hashlib.sha256(text.encode("utf-8")).hexdigest()
    root = {
        "ModelName": model, "VendorName": vendor, "ToolTip": f"{vendor} {model}, simulated",
        "StandardNameSpace": "GEV",
        "SchemaMajorVersion": 1, "SchemaMinorVersion": 1, "SchemaSubMinorVersion": 0,
        "MajorVersion": 1, "MinorVersion": 0, "SubMinorVersion": 0,
        "ProductGuid": str(uuid.uuid5(NAMESPACE, f"{vendor}/{model}")).upper(),
        # A new version whenever the content changes: GenICam clients cache by it.
        "VersionGuid": str(uuid.uuid5(NAMESPACE, digest)).upper(),
        "xmlns": "http://www.genicam.org/GenApi/Version_1_1",
    }
    head = ['<?xml version="1.0" encoding="utf-8"?>',
            f"<!-- Generated by tools/genicam_xml.py from {source}. Do not edit by hand:",
            f"     change {source} and run the tool again (see docs/genicam-xml.md). -->",
            "<RegisterDescription"]
    head += [f"  {key}={quoteattr(str(value))}" for key, value in root.items()]
    head[-1] += ">"
    xml = "\n".join(head) + "\n" + text + "</RegisterDescription>\n"
    return xml, powerup(camera, registers), max((r.address + r.size - 1 for r in registers), default=None)


# ---------------------------------------------------------------- command line

def main(argv=None):
    parser = argparse.ArgumentParser(description="Generate the GenICam XML of a simulated camera.")
    parser.add_argument("camera", help="the camera's JSON description")
    parser.add_argument("-o", "--output", help="write the XML here")
    parser.add_argument("--powerup", help="write the power-up register writes here")
    parser.add_argument("--check", metavar="XML", help="exit 1 unless this file is what the tool generates")
    parser.add_argument("--check-powerup", metavar="POWERUP", help="the same for the power-up file")
    args = parser.parse_args(argv)
    prog = os.path.basename(sys.argv[0]) if argv is None else "genicam_xml.py"
    source = source_label(args.camera)
    try:
        with open(args.camera, encoding="utf-8") as f:
            description = json.load(f)
        xml, power, highest = generate(description, source)
    except OSError as e:
        print(f"{prog}: {args.camera}: {e.strerror}", file=sys.stderr)
        return 2
    except ValueError as e:  # json.JSONDecodeError included
        print(f"{prog}: {args.camera}: {str(e).splitlines()[0]}", file=sys.stderr)
        return 2
    except Refused as e:
        print(f"{prog}: {args.camera}: {e}", file=sys.stderr)
        return 2

    if args.check or args.check_powerup:
        refresh = f"python3 tools/genicam_xml.py {args.camera}"
        refresh += f" -o {args.check}" if args.check else ""
        refresh += f" --powerup {args.check_powerup}" if args.check_powerup else ""
        for path, wanted in ((args.check, xml), (args.check_powerup, power)):
            if not path:
                continue
            try:
                with open(path, encoding="utf-8", newline="") as f:
                    current = f.read()
            except OSError:
                current = None
            if current != wanted:
                state = "is missing" if current is None else "is out of date"
                print(f"{prog}: {path} {state}; refresh it with: {refresh}", file=sys.stderr)
                return 1
        return 0

    outputs = ((args.output, xml), (args.powerup, power))
    if not args.output:
        sys.stdout.write(xml)
        outputs = outputs[1:]
    for path, text in outputs:
        if path:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
    if args.output:
        print(f"{args.output}: {len(xml.encode())} bytes, registers up to 0x{highest or 0:04X}"
              + (f"; {args.powerup}: {power.count(chr(10))} writes" if args.powerup else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
