#!/usr/bin/env python3
"""Tests of tools/genicam_xml.py. Run: python3 -m unittest tools/test_genicam_xml.py"""

import contextlib
import io
import itertools
import json
import operator as op
import os
import re
import struct
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import genicam_xml as g  # noqa: E402

FULL = os.path.join(REPO, "data", "cameras", "full.json")
FULL_XML = os.path.join(REPO, "data", "genicam", "full.xml")
FULL_POWERUP = os.path.join(REPO, "data", "genicam", "full.powerup")

TOKEN = re.compile(r"\s*([0-9]+|[A-Za-z_]\w*|<>|<=|>=|&&|\|\||[-+*/()=<>?:])")
# Binary operators from the loosest binding up, as Aravis's evaluator showed them (?: is looser still).
OPS = [{"||": lambda a, b: bool(a or b)}, {"&&": lambda a, b: bool(a and b)}, {"=": op.eq, "<>": op.ne},
       {"<": op.lt, ">": op.gt, "<=": op.le, ">=": op.ge}, {"+": op.add, "-": op.sub},
       {"*": op.mul, "/": lambda a, b: int(a / b)}]  # C division truncates


def evaluate(formula, env):
    """Evaluates the formulas the tool writes."""
    tokens = TOKEN.findall(formula)[::-1]
    assert "".join(reversed(tokens)) == formula.replace(" ", ""), formula  # nothing the tokens skip

    def level(n):
        if n == len(OPS):
            token = tokens.pop()
            if token == "-":
                return -level(n)
            if token == "(":
                value = ternary()
                assert tokens.pop() == ")", formula
                return value
            return int(token) if token.isdigit() else env[token]
        left = level(n + 1)
        while tokens and tokens[-1] in OPS[n]:
            left = OPS[n][tokens.pop()](left, level(n + 1))
        return left

    def ternary():
        test = level(0)
        if not tokens or tokens[-1] != "?":
            return test
        tokens.pop()
        yes = ternary()
        assert tokens.pop() == ":", formula
        no = ternary()
        return yes if test else no

    value = ternary()
    assert not tokens, formula
    return int(value)


def camera(*features):
    return {"format": 1, "features": list(features)}


def integer(name, **keys):
    return dict(name=name, type="Integer", **keys)


SELECTORS = camera(
    {"name": "Bank", "type": "Enumeration", "entries": [{"name": "A", "value": 0}, {"name": "B", "value": 5},
                                                        {"name": "C", "value": 9}]},
    {"name": "Cell", "type": "Integer", "selectedBy": "Bank", "min": -3, "max": 3, "inc": 3},
    {"name": "Data", "type": "Integer", "selectedBy": "Cell", "min": -1000, "max": 1000, "value": 7,
     "values": {"0": -5}},
    {"name": "Pick", "type": "Enumeration",
     "entries": [{"name": "P", "value": 2}, {"name": "Q", "value": 3}, {"name": "R", "value": 4}]},
    {"name": "Size", "type": "Integer", "selectedBy": "Pick", "validValues": [8, 1, 4, 2]},
    {"name": "Text", "type": "String", "selectedBy": "Size", "maxLength": 6, "value": "abcdef"},
)


class Slots(unittest.TestCase):
    def test_formula_and_slot_agree_for_every_selector_value(self):
        cam = g.Camera(SELECTORS)
        for name in ("Cell", "Data", "Size", "Text"):
            chain = cam.by_name[name].chain()
            combos = list(itertools.product(*(list(s.selector_values()) for s in chain)))
            slots = set()
            for values in combos:
                env = dict(zip((s.name for s in chain), values))
                slot = evaluate(g.index_formula(chain), env)
                self.assertEqual(slot, g.slot_of(chain, list(values)), (name, env))
                slots.add(slot)
            self.assertEqual(slots, set(range(len(combos))), name)  # one slot each, none skipped

    def test_values_outside_the_selector_stay_in_the_block(self):
        chain = g.Camera(SELECTORS).by_name["Data"].chain()
        for cell, bank in ((7, 0), (-4, 9), (1000, 5), (0, 6)):
            self.assertIn(evaluate(g.index_formula(chain), {"Cell": cell, "Bank": bank}), range(9))


class Conditions(unittest.TestCase):
    CAMERA = camera(
        {"name": "Mode", "type": "Enumeration", "entries": ["Off", "On", {"name": "Auto", "value": 7}]},
        {"name": "Armed", "type": "Boolean"},
        {"name": "Count", "type": "Integer", "min": -5, "max": 5})
    CASES = [{"Mode": "On"}, {"Mode": ["On", "Auto"]}, {"Mode": {"not": "Off"}}, {"Mode": {"not": ["Off", "Auto"]}},
             {"Armed": "true"}, {"Armed": False}, {"Count": -2}, {"Count": {"not": [0, "3"]}},
             {"Mode": "Auto", "Armed": "true", "Count": ["-5", 5]}]

    @staticmethod
    def holds(cond, state):
        """The description's own rule: the value as text is (not) among the given texts."""
        def text(v):
            return ("true" if v else "false") if isinstance(v, bool) else str(v)
        for name, wanted in cond.items():
            negate = isinstance(wanted, dict)
            wanted = wanted["not"] if negate else wanted
            wanted = wanted if isinstance(wanted, list) else [wanted]
            if (text(state[name]) in [text(w) for w in wanted]) == negate:
                return False
        return True

    def test_three_forms_and_their_negation(self):
        cam = g.Camera(self.CAMERA)
        numbers = {"Off": 0, "On": 1, "Auto": 7}
        for cond in self.CASES:
            variables, formula = g.condition(cam, cond, "test")
            _, locked = g.condition(cam, cond, "test", negate_all=True)
            if "Armed" in cond:
                self.assertEqual(variables["Armed"], "Armed_Reg")  # Aravis cannot read a Boolean node
            for mode, armed, count in itertools.product(numbers, (False, True), (-5, -2, 0, 3, 5)):
                state = {"Mode": mode, "Armed": armed, "Count": count}
                env = {"Mode": numbers[mode], "Armed": int(armed), "Count": count}
                expected = self.holds(cond, state)
                self.assertEqual(evaluate(formula, env), int(expected), (cond, state, formula))
                self.assertEqual(evaluate(locked, env), int(not expected), (cond, state, locked))


class Layout(unittest.TestCase):
    def assert_window(self, regs):
        end = g.FIRST_ADDRESS
        for r in sorted((r for r in regs if not r.fake), key=lambda r: r.address):
            self.assertGreaterEqual(r.address, end, r.feature.name)  # no overlap
            self.assertEqual(r.slot_size % 4, 0)
            end = r.address + r.size
        self.assertLessEqual(end, g.END_ADDRESS)

    def test_full_camera_fits_without_overlap(self):
        with open(FULL) as f:
            cam = g.Camera(json.load(f))
        regs = g.layout(cam)
        self.assert_window(regs)
        serial = cam.by_name["DeviceSerialNumber"].register
        self.assertEqual((serial.address, serial.length), (0xD8, 16))
        self.assertTrue(all(r.length == 8 for r in regs if r.kind in ("int", "float") and not r.fake))
        for name in g.CONSTANT_STRINGS:
            self.assertIsNone(cam.by_name[name].register)

    def big_camera(self, floats):
        entries = [f"E{i}" for i in range(3500)]
        return camera({"name": "Sel", "type": "Enumeration", "entries": entries},
                      {"name": "Small", "type": "Integer", "selectedBy": "Sel", "min": -10, "max": 10, "value": -1},
                      {"name": "Wide", "type": "Integer", "selectedBy": "Sel", "max": 1 << 40},
                      {"name": "Flag", "type": "Boolean", "selectedBy": "Sel", "value": True},
                      *({"name": f"F{i}", "type": "Float", "selectedBy": "Sel"} for i in range(floats)))

    def test_registers_shrink_to_four_bytes_only_when_needed_and_where_the_range_fits(self):
        cam = g.Camera(self.big_camera(floats=0))
        regs = g.layout(cam)
        self.assert_window(regs)
        self.assertEqual(cam.by_name["Wide"].register.length, 8)
        self.assertEqual(cam.by_name["Sel"].register.length, 8)  # shrinking it gained nothing needed
        self.assertEqual({cam.by_name[n].register.length for n in ("Small", "Flag")}, {4})
        words = {w for line in g.powerup(cam, regs).splitlines() for w in re.findall(r"=0x(\w+)$", line)}
        self.assertEqual(words, {"FFFFFFFF", "00000001"})  # -1 and true, one 32-bit word each
        with self.assertRaisesRegex(g.Refused, "more than the 61440"):
            g.layout(g.Camera(self.big_camera(floats=1)))


class FakeCameraRegisters(unittest.TestCase):
    TRIGGERS = {"name": "TriggerSelector", "type": "Enumeration", "entries": ["AcquisitionStart", "FrameStart"]}

    def registers(self, *features):
        cam = g.Camera(camera(*features))
        g.layout(cam)
        return {f.name: f.register for f in cam.features}

    def test_full_camera_streams_from_the_registers_the_fake_camera_reads(self):
        with open(FULL) as f:
            cam = g.Camera(json.load(f))
        g.layout(cam)
        where = {f.name: (f.register.address + f.register.slot_size * (
            [n for n, _, _ in f.selector.entries].index("FrameStart") if f.register.slots > 1 else 0),
            f.register.fake.width)
            for f in cam.features if f.register is not None and f.register.fake}
        self.assertEqual(where, {"Width": (0x100, 32), "Height": (0x104, 32), "ExposureTime": (0x120, 32),
                                 "AcquisitionStart": (0x124, 32), "AcquisitionStop": (0x124, 32),
                                 "AcquisitionAbort": (0x124, 32), "PixelFormat": (0x128, 32),
                                 "AcquisitionFrameRate": (0x138, 32), "TriggerMode": (0x300, 32),
                                 "TriggerSource": (0x304, 32), "TriggerActivation": (0x308, 32),
                                 "TriggerSoftware": (0x30C, 32), "GevSCPSFireTestPacket": (0xD04, 1),
                                 "GevSCPSDoNotFragment": (0xD04, 1), "GevSCPSPacketSize": (0xD04, 16)})
        # The converters' formulas and the power-up file code every entry alike, both ways.
        for f in cam.features:
            coding = f.register.fake if f.register else None
            if coding is None or coding.table is None:
                continue
            to, back = coding.formulas()
            codes = [evaluate(to, {"FROM": value}) for _, value, _ in f.entries]
            self.assertEqual(codes, [coding.code(value) for _, value, _ in f.entries], f.name)
            self.assertEqual(len(set(codes)), len(codes), f.name)
            self.assertEqual([evaluate(back, {"TO": c}) for c in codes], [v for _, v, _ in f.entries], f.name)
        self.assertEqual(cam.by_name["PixelFormat"].register.fake.code(cam.by_name["PixelFormat"].entry_value(
            "Mono8", "")), 0x01080001)

    def test_what_does_not_fit_the_fake_camera_stays_in_plain_memory(self):
        cases = [
            ("a range beyond 32 bits", [integer("Width", max=1 << 33)]),
            ("a packet size beyond its 16 bits", [integer("GevSCPSPacketSize", max=70000)]),
            ("another type", [{"name": "Height", "type": "Float"}]),
            ("a rate that may be 0", [{"name": "AcquisitionFrameRate", "type": "Float", "min": 0.0, "max": 10.0}]),
            ("selected by another selector", [{"name": "Sel", "type": "Enumeration", "entries": ["FrameStart", "B"]},
                                              {"name": "TriggerMode", "type": "Enumeration", "entries": ["Off", "On"],
                                               "selectedBy": "Sel"}]),
            ("a trigger selector without FrameStart",
             [dict(self.TRIGGERS, entries=["AcquisitionStart", "AcquisitionEnd"]),
              {"name": "TriggerMode", "type": "Enumeration", "entries": ["Off", "On"],
               "selectedBy": "TriggerSelector"}]),
            ("trigger blocks that would reach the bootstrap URL",
             [dict(self.TRIGGERS, entries=[f"T{i}" for i in range(8)] + ["FrameStart"]),
              {"name": "TriggerMode", "type": "Enumeration", "entries": ["Off", "On"],
               "selectedBy": "TriggerSelector"}]),
        ]
        for reason, features in cases:
            with self.subTest(reason):
                register = self.registers(*features)[features[-1]["name"]]
                self.assertIsNone(register.fake)
                self.assertGreaterEqual(register.address, g.FIRST_ADDRESS)
        trigger = self.registers(self.TRIGGERS, {"name": "TriggerMode", "type": "Enumeration",
                                                 "entries": ["Off", "On"], "selectedBy": "TriggerSelector"})
        self.assertEqual((trigger["TriggerMode"].address, trigger["TriggerMode"].slot_size), (0x2E0, 0x20))


def words(feature, value, length):
    f = g.Camera(camera(feature)).features[0]
    if f.type == "String":
        register = g.Register(f, "string", f.length, (f.length + 3) // 4 * 4, 1)
    else:
        register = g.Register(f, "float" if f.type == "Float" else "int", length, length, 1)
    return g.written_words(register, g.start_value(f, value, "test"))


class PowerUp(unittest.TestCase):
    def test_words(self):
        i = {"name": "I", "type": "Integer", "min": -(1 << 63)}
        cases = [(i, 0x0123456789ABCDEF, 8, struct.unpack(">II", struct.pack(">q", 0x0123456789ABCDEF))),
                 (i, -2, 8, struct.unpack(">II", struct.pack(">q", -2))),
                 (i, -2, 4, struct.unpack(">I", struct.pack(">i", -2))),
                 (i, 0, 8, ()),
                 ({"name": "F", "type": "Float"}, 1.5, 8, (0x3FF80000, 0)),  # IEEE-754: 1.5 = 0x3FF8 << 48
                 ({"name": "S", "type": "String", "maxLength": 16}, "abcde", 0, (0x61626364, 0x65000000)),
                 ({"name": "S", "type": "String", "maxLength": 16}, "abcd", 0, (0x61626364, 0)),  # terminator
                 ({"name": "S", "type": "String", "maxLength": 4}, "abcd", 0, (0x61626364,))]
        for feature, value, length, expected in cases:
            self.assertEqual(words(feature, value, length), list(expected), (feature["type"], value, length))

    @staticmethod
    def memory(cam):
        """What the power-up leaves in a fresh camera: address -> 4 bytes."""
        text = g.powerup(cam, g.layout(cam))
        lines = re.findall(r"^R\[0x([0-9A-F]{4})\]=0x([0-9A-F]{8})$", text, re.M)
        assert len(lines) == text.count("\n")
        addresses = [int(a, 16) for a, _ in lines]
        assert addresses == sorted(set(addresses))
        return dict(zip(addresses, (bytes.fromhex(w) for _, w in lines)))

    @staticmethod
    def read(memory, feature, slot):
        r = feature.register
        if r.fake:
            word = int.from_bytes(memory[r.address + slot * r.slot_size], "big")
            value = r.fake.value((word >> r.fake.shift) & ((1 << r.fake.width) - 1))
            return bool(value) if feature.type == "Boolean" else value
        data = b"".join(memory.get(r.address + slot * r.slot_size + i, bytes(4)) for i in range(0, r.slot_size, 4))
        if feature.type == "Float":
            return struct.unpack(">d", data)[0]
        if feature.type == "String":
            return data.split(b"\0")[0].decode()
        value = int.from_bytes(data, "big", signed=True)
        return bool(value) if feature.type == "Boolean" else value

    def test_defaults_and_values_under_a_chain(self):
        cam = g.Camera(camera(*SELECTORS["features"],
                              integer("Wide", min=16, max=64), integer("Neg", min=-9, max=-3),
                              {"name": "Rate", "type": "Float", "min": 2.5, "max": 9.0},
                              {"name": "Late", "type": "Enumeration", "entries": [{"name": "L", "value": 3}, "M"]}))
        memory = self.memory(cam)
        data = cam.by_name["Data"]
        for cell, bank in itertools.product((-3, 0, 3), (0, 5, 9)):
            # "0" names Cell's value, so it holds in every bank
            self.assertEqual(self.read(memory, data, g.slot_of(data.chain(), [cell, bank])), -5 if cell == 0 else 7)
        self.assertEqual([self.read(memory, cam.by_name["Text"], slot) for slot in range(12)], ["abcdef"] * 12)
        self.assertEqual([self.read(memory, cam.by_name[n], 0) for n in ("Wide", "Neg", "Rate", "Late")],
                         [16, -9, 2.5, 3])  # min when 0 is outside the range; the first entry

    def test_full_camera_start_values_read_back_from_the_written_memory(self):
        with open(FULL) as f:
            description = json.load(f)
        cam = g.Camera(description)
        memory = self.memory(cam)
        checked = 0
        for raw in description["features"]:
            f = cam.by_name[raw["name"]]
            if f.register is None or f.name == "DeviceSerialNumber" or f.type in ("Command", "Raw"):
                continue
            given = [(None, raw["value"])] if "value" in raw and "values" not in raw else []
            for key, value in given + list(raw.get("values", {}).items()):
                entries = [e if isinstance(e, str) else e["name"] for e in f.selector.raw.get("entries", [])] \
                    if f.selector else []
                slot = entries.index(key) if key in entries else 0 if key is None else \
                    list(f.selector.selector_values()).index(int(key))
                want = f.entry_value(value, "") if f.type == "Enumeration" else value
                self.assertEqual(self.read(memory, f, slot), want, (f.name, key))
                checked += 1
        self.assertGreater(checked, 150)


REFUSALS = [  # features added to a valid camera, and why the result is refused
    ([integer("X", availableWhen={"Gain": 1.0})], "Float Gain cannot be carried"),
    ([integer("X", writableWhen={"Nope": 1})], "unknown feature 'Nope'"),
    ([integer("X", availableWhen={"Mode": "Sometimes"})], "no entry 'Sometimes'"),
    ([integer("X", availableWhen={"Level": "high"})], "not a decimal integer"),
    ([integer("X", visibility="Unknown")], "no GenICam counterpart"),
    ([integer("Bad Name")], "not a GenICam name"),
    ([integer("X", category="/Other/Leaf")], "category 'Leaf' appears under both"),
    ([integer("Level_Reg")], "also used by"),
    ([{"name": "Abs", "type": "Enumeration", "entries": ["A"]}, integer("X", selectedBy="Abs")],
     "word of GenICam formulas"),
    ([{"name": "X", "type": "String", "maxLength": 65536}], "more than the 61440"),
    ([integer("X", selectedBy="Mode", values={"Auto": 1})], "no entry 'Auto'"),
    ([integer("X", selectedBy="X")], "not another Enumeration or Integer"),
]


class Refusals(unittest.TestCase):
    BASE = [{"name": "Gain", "type": "Float"}, integer("Level", category="/Top/Leaf"),
            {"name": "Mode", "type": "Enumeration", "entries": ["Off", "On"]}]

    def test_refused_with_a_reason(self):
        g.generate(camera(*self.BASE), "x.json")  # the base itself is fine
        for features, reason in REFUSALS:
            with self.subTest(reason=reason), self.assertRaisesRegex(g.Refused, reason):
                g.generate(camera(*self.BASE, *features), "x.json")

    def test_command_line_says_it_in_one_line(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "cam.json")
            with open(path, "w") as f:
                json.dump(camera(*self.BASE, *REFUSALS[0][0]), f)
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                self.assertEqual(g.main([path, "-o", os.path.join(tmp, "cam.xml")]), 2)
            self.assertEqual(err.getvalue().count("\n"), 1)
            self.assertIn("feature 'X'", err.getvalue())


class CommittedFiles(unittest.TestCase):
    def test_up_to_date_and_stale_detected(self):
        err = io.StringIO()
        with contextlib.redirect_stderr(err):
            self.assertEqual(g.main([FULL, "--check", FULL_XML, "--check-powerup", FULL_POWERUP]), 0, err.getvalue())
            with tempfile.NamedTemporaryFile("w", suffix=".powerup") as stale:
                stale.write(open(FULL_POWERUP).read().replace("=0x0", "=0x1", 1))
                stale.flush()
                self.assertEqual(g.main([FULL, "--check-powerup", stale.name]), 1)
        self.assertIn("out of date; refresh it with: python3 tools/genicam_xml.py", err.getvalue())

    def test_every_reference_resolves_and_features_sit_in_one_category(self):
        ns = "{http://www.genicam.org/GenApi/Version_1_1}"
        root = ET.parse(FULL_XML).getroot()
        nodes = [n for n in root if n.get("Name")]
        names = [n.get("Name") for n in nodes]
        self.assertEqual(len(names), len(set(names)))
        pointers = [e for e in root.iter() if e.tag.startswith(ns + "p")]
        self.assertGreater(len(pointers), 1000)
        self.assertEqual([p.text for p in pointers if p.text not in names], [])
        listed = [p.text for c in root.iter(ns + "Category") for p in c.iter(ns + "pFeature")]
        with open(FULL) as f:
            features = [x["name"] for x in json.load(f)["features"]]
        categories = [c.get("Name") for c in root.iter(ns + "Category") if c.get("Name") != "Root"]
        self.assertEqual(sorted(listed), sorted(features + categories))
        helpers = [n for n in nodes if n.get("NameSpace") == "Custom"]
        self.assertTrue(helpers and not {h.get("Name") for h in helpers} & set(listed))


if __name__ == "__main__":
    unittest.main()
