"""A minimal Python host: bring the simulated machine up in direct mode, mark a 20 mm square, print
the marks and draw them. Run by the tests; with an installed copy just `python3 python_example.py`.
Give a file name to keep the picture: python3 python_example.py square.png"""
import sys

import korvex

m = korvex.Machine()
no_serial_ports = [0, 0, 0, 0]  # read in stand-alone mode only
m.Marking_init_pci(korvex.OUTPUTS_GATE_HIGH, 0, korvex.CARD_DIRECT, korvex.LASER_TYPE_DIRECT, 0, no_serial_ports,
                   korvex.GATE_OPENS_LOW)
# Marking parameters (docs/members.md, Marking_para).
mark_speed_mm_s, jump_speed_mm_s = 1000, 3000
close_delay_us, close_hold_us, open_delay_us, open_hold_us = 100, 200, 300, 400
step_um = 3.0
laser_power, frequency_khz, max_laser_power = 50, 20, 100
settle_max_us = 500
m.Marking_para(mark_speed_mm_s, jump_speed_mm_s, close_delay_us, close_hold_us, open_delay_us, open_hold_us, step_um,
               laser_power, frequency_khz, max_laser_power, settle_max_us)
m.marking_start()
# A polyline of 5 points around a 20 mm square, in mm from the field centre, then the end.
m.Marking_data([5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, korvex.MD_END])
for mark in korvex.marks():
    print(mark.kind, mark.x0, mark.y0, mark.x1, mark.y1)
if len(sys.argv) > 1:
    korvex.save_picture(sys.argv[1], head_steps_per_mm=1000 / step_um)
