"""The Python module against the build tree: a fault inside a member is a korvex.Fault with its
kind (the laser left off), arguments are checked before they reach C, md lists get the library's
write-back, marks and pictures come out, and an ear-tag plate is marked from lists of strings."""
import os
import tempfile
import unittest

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

if __name__ == "__main__":
    unittest.main()
