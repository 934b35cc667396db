// A minimal host: bring the machine up in direct mode, set marking parameters, mark a square.
// Built with the project (target korvex_host_example) so this example always compiles; docs/members.md
// says what every argument means.
#include <iostream>
#include <korvex/korvex_dll.hpp>

int main() try {
    korvex_dll laser;  // on the simulated machine unless korvex::set_platform names other backends
    const std::vector<uint8_t> no_serial_ports{0, 0, 0, 0};  // read in stand-alone mode only
    laser.Marking_init_pci(KORVEX_OUTPUTS_GATE_HIGH, 0, KORVEX_CARD_DIRECT, KORVEX_LASER_TYPE_DIRECT, 0,
                           no_serial_ports, KORVEX_GATE_OPENS_LOW);

    const float mark_speed_mm_s = 1000, jump_speed_mm_s = 3000;
    const int32_t close_delay_us = 100, close_hold_us = 200, open_delay_us = 300, open_hold_us = 400;
    const double step_um = 3.0;
    const float laser_power = 50, frequency_khz = 20, max_laser_power = 100;
    const int32_t settle_max_us = 500;
    laser.Marking_para(mark_speed_mm_s, jump_speed_mm_s, close_delay_us, close_hold_us, open_delay_us, open_hold_us,
                       step_um, laser_power, frequency_khz, max_laser_power, settle_max_us);
    laser.marking_start();

    // A polyline of 5 points around a 20 mm square, in mm from the field centre, then the end.
    std::vector<double> md{5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, KORVEX_MD_END};
    laser.Marking_data(md);
} catch (const korvex::Fault& f) {
    std::cerr << "marking failed: " << f.what() << "\n";
    return 1;
}
