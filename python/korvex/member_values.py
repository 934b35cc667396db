"""Named values of the members' arguments and results, as korvex/member_values.h names them for C
and C++ hosts (docs/members.md says what every argument means)."""

TRUE, FALSE = -1, 0  # the members' 16-bit Booleans (e_isMarking, Send_cal_data)

CARD_DIRECT = 0  # Marking_init_pci card: the PCI I/O card, driven by the library
CARD_STAND_ALONE = 1  # up to four marking controllers on serial lines
LASER_TYPE_DIRECT = 3  # Marking_init_pci LaserType: direct mode always works with type 3
GATE_OPENS_LOW, GATE_OPENS_HIGH = 1, 0  # Marking_init_pci laser_sw: the level of output 7 that opens the gate
OUTPUTS_GATE_HIGH = 0x80  # Marking_init_pci out_data0: output 7 high, the others low
PORT_USED = 0x80  # an rs_n element for a used serial control (OR its port number, 1-127)

MD_END, MD_POINT, MD_PULSE = 0, 1, -1  # md records; a polyline starts with its point count (2 or more)
FILE_POINT_TABLE = -1  # Marking_end fileno of the point-table form
HEAD_DOWNLOAD = -1  # Marking_end m_head of the download form
LASER_ON, LASER_OFF = 1, 0  # usb_laser_open on_off
LEVEL_HIGH, LEVEL_LOW = 1, 0  # port_Out_bit intV
DA_X, DA_Y = 0, 1  # Marking_DA P
