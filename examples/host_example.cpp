// A minimal host: bring the machine up in direct mode, set marking parameters, mark a square.
// Built with the project (target korvex_host_example) so this example always compiles.
#include <iostream>
#include <korvex/korvex_dll.hpp>

int main() try {
    korvex_dll laser;  // on the simulated machine unless korvex::set_platform names other backends
    laser.Marking_init_pci(128, 0, 0, 1, 0, {0, 0, 0, 0}, 1);
    laser.Marking_para(1000, 3000, 100, 200, 300, 400, 3.0, 50, 20, 100, 500);
    laser.marking_start();
    std::vector<double> md{5, -10, -10, 10, -10, 10, 10, -10, 10, -10, -10, 0};  // polyline, end
    laser.Marking_data(md);
} catch (const korvex::Fault& f) {
    std::cerr << "marking failed: " << f.what() << "\n";
    return 1;
}
