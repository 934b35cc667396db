/* A minimal C host: bring the simulated machine up in direct mode, mark a 20 mm square and print
 * the marks the laser made. Built with the project (target korvex_c_example) and run by the tests;
 * against an installed copy: cc c_example.c $(pkg-config --cflags --libs korvex). */
#include <stdio.h>
#include <stdlib.h>

#include <korvex/korvex.h>

/* The headers' version, checked when the host is compiled (korvex_version() tells the library's). */
#if !KORVEX_VERSION_AT_LEAST(0, 1, 0)
#error "this host needs the korvex 0.1 headers or newer"
#endif

static int check(korvex_object* laser, int32_t result, const char* what) {
    if (!KORVEX_IS_ERROR(result)) return 0;
    fprintf(stderr, "%s failed: %s fault: %s\n", what, korvex_fault_kind_name(KORVEX_ERROR_KIND(result)),
            laser ? korvex_fault_message(laser) : korvex_last_fault_message());
    return 1;
}

int main(void) {
    korvex_object* laser = NULL;
    const uint8_t no_serial_ports[4] = {0, 0, 0, 0}; /* read in stand-alone mode only */
    /* A polyline of 5 points around a 20 mm square, in mm from the field centre, then the end. */
    double square[] = {5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, KORVEX_MD_END};
    /* Marking parameters (docs/members.md, Marking_para). */
    const float mark_speed_mm_s = 1000, jump_speed_mm_s = 3000;
    const int32_t close_delay_us = 100, close_hold_us = 200, open_delay_us = 300, open_hold_us = 400;
    const double step_um = 3.0;
    const float laser_power = 50, frequency_khz = 20, max_laser_power = 100;
    const int32_t settle_max_us = 500;
    korvex_mark* marks = NULL;
    size_t count = 0, i;
    int failed;

    if (check(NULL, korvex_set_platform("simulated", NULL, NULL), "korvex_set_platform") ||
        check(NULL, korvex_create(&laser), "korvex_create"))
        return 1;
    failed = check(laser,
                   korvex_Marking_init_pci(laser, KORVEX_OUTPUTS_GATE_HIGH, 0, KORVEX_CARD_DIRECT, KORVEX_LASER_TYPE_DIRECT,
                                           0, no_serial_ports, 4, KORVEX_GATE_OPENS_LOW),
                   "Marking_init_pci") ||
             check(laser,
                   korvex_Marking_para(laser, mark_speed_mm_s, jump_speed_mm_s, close_delay_us, close_hold_us,
                                       open_delay_us, open_hold_us, step_um, laser_power, frequency_khz,
                                       max_laser_power, settle_max_us),
                   "Marking_para") ||
             check(laser, korvex_marking_start(laser), "marking_start") ||
             check(laser, korvex_Marking_data(laser, square, sizeof square / sizeof square[0]), "Marking_data") ||
             check(NULL, korvex_sim_marks(NULL, 0, &count), "korvex_sim_marks");
    if (!failed && count > 0) {
        marks = malloc(count * sizeof *marks);
        failed = !marks || check(NULL, korvex_sim_marks(marks, count, &count), "korvex_sim_marks");
    }
    for (i = 0; !failed && i < count; ++i) {
        static const char* kinds[] = {"line", "jump", "dot", "axis"};
        const korvex_mark* m = &marks[i];
        printf("%s %d %d %d %d\n", kinds[m->kind & 3], (int)m->x0, (int)m->y0, (int)m->x1, (int)m->y1);
    }
    free(marks);
    korvex_destroy(laser);
    return failed;
}
