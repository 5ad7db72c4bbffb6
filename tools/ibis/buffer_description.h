// The generic analog description of the transmitter's output buffer, from a
// few named numbers, and the IBIS data that follow from them.
//
// The buffer is an ideal linear driver: the pull-up connects the pad to the
// supply, the pull-down to ground, each through the driver impedance, linear
// over the whole swept range, without clamp diodes. Its edges take the
// transition time from 20 % to 80 % of the swing into the ramp's test load.
// Each number has three corners, in the IBIS columns: typical, minimum (the
// slow and weak corner: low supply, high impedance, slow edge) and maximum
// (fast and strong). C_comp and the package values hold their smallest value
// in the minimum column and their largest in the maximum column.
#ifndef IBIS_BUFFER_DESCRIPTION_H
#define IBIS_BUFFER_DESCRIPTION_H

#include <vector>

namespace ibis {

struct Corners {
    double typ;
    double min;
    double max;
};

struct BufferDescription {
    Corners supply{1.0, 0.95, 1.05};                  // V, the rail the pull-up drives to
    Corners impedance{50.0, 55.0, 45.0};              // ohm, pull-up and pull-down alike
    Corners transition_time{20e-12, 25e-12, 15e-12};  // s, 20 % to 80 % into r_load
    Corners c_comp{300e-15, 270e-15, 330e-15};        // F, pad and driver capacitance
    double r_load = 50.0;                             // ohm, test load of the ramp
    Corners r_pkg{0.10, 0.08, 0.12};                  // ohm, package resistance
    Corners l_pkg{0.50e-9, 0.40e-9, 0.60e-9};         // H, package inductance
    Corners c_pkg{0.20e-12, 0.15e-12, 0.25e-12};      // F, package capacitance
    int table_intervals = 30;                         // voltage steps of the I-V tables
};

// One row of an I-V table: current into the pad (A) at the voltage (V).
struct IvRow {
    double voltage;
    Corners current;
};

// Both tables sweep from -Vmax to 2 Vmax in table_intervals equal steps,
// Vmax the highest supply corner, so every corner's range is covered.
// Pull-down: voltage of the pad against ground, I = V / R.
std::vector<IvRow> pulldown_table(const BufferDescription &buffer);
// Pull-up: voltage of the supply less that of the pad, I = -V / R.
std::vector<IvRow> pullup_table(const BufferDescription &buffer);

// One ramp rate: dv volts (20 % to 80 % of the swing) in dt seconds.
struct RampRate {
    double dv;
    double dt;
};

// The swing into r_load (the load to ground for the rising edge, to the
// supply for the falling edge) is supply * r_load / (impedance + r_load) on
// both edges; the ramp covers 60 % of it in the transition time.
struct Ramp {
    RampRate typ;
    RampRate min;
    RampRate max;
};
Ramp ramp(const BufferDescription &buffer);

}  // namespace ibis

#endif  // IBIS_BUFFER_DESCRIPTION_H
