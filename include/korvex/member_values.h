/* korvex/member_values.h: named values of the members' arguments and results, for C and C++ hosts,
 * so a call says what it means: Marking_init_pci(KORVEX_OUTPUTS_GATE_HIGH, 0, KORVEX_CARD_DIRECT, ...). */
#ifndef KORVEX_MEMBER_VALUES_H
#define KORVEX_MEMBER_VALUES_H

/* Booleans of the members (e_isMarking, Send_cal_data) are 16 bits wide. */
#define KORVEX_TRUE (-1)
#define KORVEX_FALSE 0

/* Marking_init_pci: card. */
#define KORVEX_CARD_DIRECT 0       /* the PCI I/O card, driven by the library */
#define KORVEX_CARD_STAND_ALONE 1  /* up to four marking controllers on serial lines */
/* Marking_init_pci: LaserType. Direct mode always works with type 3. */
#define KORVEX_LASER_TYPE_DIRECT 3
/* Marking_init_pci: laser_sw, the level of output 7 (the laser gate) that opens the gate. */
#define KORVEX_GATE_OPENS_LOW 1
#define KORVEX_GATE_OPENS_HIGH 0
/* Marking_init_pci: out_data0 with output 7 high and the others low: the gate starts closed when
 * it opens low. */
#define KORVEX_OUTPUTS_GATE_HIGH 0x80
/* Marking_init_pci: an rs_n element for a used serial control (OR its port number, 1-127). */
#define KORVEX_PORT_USED 0x80

/* Records of the md array (Marking_data): a polyline starts with its point count (2 or more). */
#define KORVEX_MD_END 0
#define KORVEX_MD_POINT 1
#define KORVEX_MD_PULSE (-1)

/* Marking_end: fileno of the point-table form; m_head of the download form. */
#define KORVEX_FILE_POINT_TABLE (-1)
#define KORVEX_HEAD_DOWNLOAD (-1)

/* usb_laser_open: on_off. */
#define KORVEX_LASER_ON 1
#define KORVEX_LASER_OFF 0

/* port_Out_bit: intV; Marking_DA: P. */
#define KORVEX_LEVEL_HIGH 1
#define KORVEX_LEVEL_LOW 0
#define KORVEX_DA_X 0
#define KORVEX_DA_Y 1

#endif /* KORVEX_MEMBER_VALUES_H */
