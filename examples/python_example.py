"""A minimal Python host: bring the simulated machine up in direct mode, mark a 20 mm square, print
the marks and draw them. Run by the tests; with an installed copy just `python3 python_example.py`.
Give a file name to keep the picture: python3 python_example.py square.png"""
import sys

import korvex

step_um = 3.0
m = korvex.Machine()
m.Marking_init_pci(128, 0, 0, 1, 0, [0, 0, 0, 0], 1)
m.Marking_para(1000, 3000, 100, 200, 300, 400, step_um, 50, 20, 100, 500)
m.marking_start()
m.Marking_data([5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, 0])  # polyline of 5 points, end
for mark in korvex.marks():
    print(mark.kind, mark.x0, mark.y0, mark.x1, mark.y1)
if len(sys.argv) > 1:
    korvex.save_picture(sys.argv[1], head_steps_per_mm=1000 / step_um)
