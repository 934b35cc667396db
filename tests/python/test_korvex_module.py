"""The Python module against the build tree: a fault inside a member is a korvex.Fault with its
kind (the laser left off), arguments are checked before they reach C, md lists get the library's
write-back, marks and pictures come out, an ear-tag plate is marked from lists of strings (and the
same from numpy arrays), an object refuses calls from other threads, a message handler answers the
machine's boxes while a log handler hears of them and of faults, and everything public has a
docstring and a type hint in __init__.pyi."""
import ast
import inspect
import os
import tempfile
import threading
import unittest

import numpy

import korvex


class ModuleTest(unittest.TestCase):
    def setUp(self):
        korvex.set_platform("simulated", library_folder="/dev/null")  # no grid: marks as drawn
        self.m = korvex.Machine()
        self.m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
        self.m.Marking_para(1000, 3000, 100, 200, 300, 400, 10.0, 50, 20, 100, 500)
        self.m.marking_start()

    def tearDown(self):
        self.m.close()

    def test_fault_is_an_exception_with_its_kind_and_the_laser_off(self):
        with self.assertRaises(korvex.Fault) as caught:
            self.m.Marking_data([3, 0, 0, 5, 0])  # the third point is missing while the laser is on
        self.assertEqual(caught.exception.kind, "index")
        self.assertIn("md read past its end", caught.exception.message)
        self.assertFalse(korvex.laser_emitting())
        self.assertEqual(korvex.marks()[-1].kind, "line")
        with self.assertRaises(korvex.Fault) as caught:
            korvex.set_platform("punch card")
        self.assertEqual(caught.exception.kind, "argument")

    def test_arguments_are_checked_before_they_reach_c(self):
        with self.assertRaises(ValueError):
            self.m.port_Out_bit(70000, 1)  # would wrap in a 16-bit argument
        with self.assertRaises(ValueError):
            self.m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 300, 0], 1)  # 300 is no byte
        # Nothing is wrapped, truncated or rounded on its way to C.
        with self.assertRaises(ValueError):
            korvex.set_input(2**32 + 3, 0)  # not input 3
        with self.assertRaises(TypeError):
            self.m.port_Out_bit(1.9, 1)  # not bit 1
        with self.assertRaises(TypeError):
            self.m.Marking_DA("1.5", 0)
        with self.assertRaises(ValueError):
            self.m.Marking_para(1e39, 3000, 100, 200, 300, 400, 10.0, 50, 20, 100, 500)  # no Single
        with self.assertRaises(ValueError):
            self.m.e_setPrintInfo(os.path.join(os.environ["KORVEX_SOURCE_DIR"], "examples/eartag_template") + "\0x")
        with self.assertRaises(ValueError):
            self.m.e_PrintEarMark(bytes(32), ["1\0"], ["2"], [1, 32])
        with self.assertRaises(TypeError):
            self.m.e_PrintEarMark(bytes(32), "12", ["2"], [1, 32])  # one string, not one per tag
        self.m.Name = "station é"
        self.assertEqual(self.m.Name, "station é")
        self.m.File_no_begin = -70000
        self.assertEqual(self.m.File_no_begin, -70000)
        self.assertGreater(korvex.Machine().DebugID, self.m.DebugID)

    def test_marks_and_pictures(self):
        korvex.clear_marks()
        md = [5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, 0]
        self.assertEqual(self.m.Marking_data(md), 1)
        self.assertEqual(md[0], 5)  # direct marking leaves md as it was
        lines = [m for m in korvex.marks() if m.kind == "line"]
        self.assertEqual([(m.x0, m.y0, m.x1, m.y1) for m in lines][0], (-1000, -1000, 1000, -1000))
        self.assertEqual(len(lines), 4)
        self.assertGreater(korvex.time_us(), 0)
        self.assertTrue(korvex.picture(head_steps_per_mm=100).png.startswith(b"\x89PNG"))
        with tempfile.TemporaryDirectory() as folder:
            korvex.write_marks(os.path.join(folder, "m.txt"))
            with open(os.path.join(folder, "m.txt")) as f:
                self.assertIn("line -1000 -1000 1000 -1000", f.read())
            with self.assertRaises(korvex.Fault) as caught:
                korvex.save_picture(os.path.join(folder, "m.gif"))
            self.assertEqual(caught.exception.kind, "argument")
            # The picture library's own failure reads back from the machine library's thread record.
            self.assertIn('"gif"', caught.exception.message)

    def test_ear_tag_plate_from_lists_of_numbers_and_strings(self):
        # The example template with the built fonts (the default library folder); its logo path is
        # relative to the source folder.
        korvex.set_platform("simulated")
        os.chdir(os.environ["KORVEX_SOURCE_DIR"])
        m = korvex.Machine()
        m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
        m.Marking_para(1000, 3000, 100, 50, 100, 50, 10.0, 50, 20, 100, 100)
        m.marking_start()
        m.e_setPrintInfo("examples/eartag_template")
        m.e_PrintEarMark(bytes(64), ["982000123456001", "982000123456002"], ["56001", "56002"], [2, 32, 32])
        self.assertGreater(sum(1 for mark in korvex.marks() if mark.kind == "line"), 100)
        self.assertFalse(korvex.laser_emitting())

    def test_numpy_arrays_mark_as_lists_do(self):
        # Every array goes element by element with its range checked, whatever its dtype: a plate
        # from int64 arrays is the plate from lists, and md from an integer array the same lines.
        os.chdir(os.environ["KORVEX_SOURCE_DIR"])
        image, blank, sizes = [(7 * i) % 256 for i in range(64)], [0] * 64, [2, 32, 32]
        plates = []
        for convert, bitmaps in ((list, image), (numpy.array, image), (list, blank)):
            korvex.set_platform("simulated")  # a new machine, the spot at the centre
            m = korvex.Machine()
            m.Marking_init_pci(128, 0, 0, 1, 0, convert([0, 0, 0, 0]), 1)
            m.Marking_para(1000, 3000, 100, 50, 100, 50, numpy.float32(10.0), 50, 20, 100, 100)
            m.marking_start()
            m.e_setPrintInfo("examples/eartag_template")
            m.e_PrintEarMark(convert(bitmaps), numpy.array(["982000123456001", "982000123456002"]),
                             ["56001", "56002"], convert(sizes))
            m.Marking_data(convert([2, -10, -10, 10, 10, 0]))
            plates.append([mark[:6] for mark in korvex.marks()])
            m.close()
        self.assertEqual(plates[0], plates[1])
        self.assertNotEqual(plates[0], plates[2])  # the codes come from the bitmaps
        with self.assertRaises(ValueError):
            self.m.e_PrintEarMark(numpy.full(32, 256), ["1"], ["2"], [1, 32])
        with self.assertRaises(TypeError):
            self.m.e_PrintEarMark(numpy.zeros(32), ["1"], ["2"], [1, 32])  # floats are no bytes
        with self.assertRaises(TypeError):
            self.m.Marking_data(numpy.zeros((2, 1)))

    def test_an_object_belongs_to_its_thread(self):
        caught = []
        thread = threading.Thread(target=lambda: caught.extend(self._faults(self.m.e_Relese, self.m.close)))
        thread.start()
        thread.join()
        self.assertEqual([(f.kind, "another thread" in f.message) for f in caught], [("argument", True)] * 2)
        self.assertEqual(self.m.e_Relese(), 0)

    def test_every_public_name_is_documented_and_typed(self):
        with open(os.path.join(os.path.dirname(korvex.__file__), "__init__.pyi")) as f:
            stub = ast.parse(f.read())
        typed = {node.name: node for node in stub.body if isinstance(node, (ast.ClassDef, ast.FunctionDef))}
        typed_members = {n.name for n in typed["Machine"].body if isinstance(n, ast.FunctionDef)}
        self.assertRegex(korvex.__version__, r"^\d+\.\d+")
        for name in korvex.__all__:
            self.assertIn(name, typed, f"{name} has no type hints in __init__.pyi")
            self.assertTrue(inspect.getdoc(getattr(korvex, name)), f"{name} has no docstring")
        for name, member in vars(korvex.Machine).items():
            if name.startswith("_"):
                continue
            self.assertIn(name, typed_members, f"Machine.{name} has no type hints in __init__.pyi")
            self.assertTrue(inspect.getdoc(member), f"Machine.{name} has no docstring")

    @staticmethod
    def _faults(*calls):
        for call in calls:
            try:
                call()
            except korvex.Fault as f:
                yield f


if __name__ == "__main__":
    unittest.main()


class MessageHandlerTest(unittest.TestCase):
    def tearDown(self):
        korvex.set_message_handler(None)
        korvex.set_log_handler(None)

    def test_handler_answers_each_box_and_the_log_hears_boxes_and_faults(self):
        korvex.set_platform("simulated", library_folder="/dev/null")  # no grid: initialization says so
        boxes, log = [], []
        korvex.set_message_handler(lambda box: boxes.append(box) or "ok")
        korvex.set_log_handler(lambda level, line: log.append((level, line)))
        with korvex.Machine() as m:
            m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
            self.assertEqual(len(boxes), 1)
            self.assertEqual(boxes[0].text, "无校准数据，标记将会不准确")  # byte-exact
            self.assertTrue(boxes[0].shown.startswith("No calibration data"), boxes[0].shown)
            self.assertEqual((boxes[0].title, boxes[0].buttons), ("marking system", "ok"))
            self.assertEqual(log[-1][0], "info")
            self.assertTrue(log[-1][1].endswith("-> ok"), log[-1])
            with self.assertRaises(korvex.Fault) as caught:
                m.Marking_data([3, 0, 0, 5, 0])
            self.assertEqual(log[-1], ("error", f"{caught.exception.kind} fault: {caught.exception.message}"))

            # An exception in the handler answers on the safe side and comes back from the call.
            def refuse(box):
                raise RuntimeError("operator away")
            korvex.set_message_handler(refuse)
            with self.assertRaisesRegex(RuntimeError, "operator away"):
                m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
            self.assertEqual(log[-1][0], "info")
            self.assertTrue(log[-1][1].endswith("-> ok"), log[-1])
