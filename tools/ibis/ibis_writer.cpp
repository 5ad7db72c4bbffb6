#include "tools/ibis/ibis_writer.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tools/ibis/ibis_numbers.h"

namespace ibis {
namespace {

// Left-aligns each field in a column of the given width.
std::string columns(const std::vector<std::string> &fields, int width) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += fields[i];
        if (i + 1 < fields.size()) {
            const std::size_t pad =
                fields[i].size() < static_cast<std::size_t>(width) ? width - fields[i].size() : 1;
            line.append(pad, ' ');
        }
    }
    return line + "\n";
}

std::string corners_row(const char *name, const Corners &c) {
    return columns({name, format_number(c.typ), format_number(c.min), format_number(c.max)}, 16);
}

std::string ratio(const RampRate &r) {
    return format_number(r.dv) + "/" + format_number(r.dt);
}

std::string corner_text(const Corners &c, const char *unit) {
    return format_number(c.typ) + " / " + format_number(c.min) + " / " + format_number(c.max) +
           " " + unit;
}

std::string iv_table(const char *keyword, const char *voltage_label,
                     const std::vector<IvRow> &rows) {
    std::string text = std::string(keyword) + "\n";
    text += columns({"|" + std::string(voltage_label), "I(typ)", "I(min)", "I(max)"}, 16);
    for (const IvRow &row : rows) {
        text += columns({format_number(row.voltage), format_number(row.current.typ),
                         format_number(row.current.min), format_number(row.current.max)},
                        16);
    }
    return text;
}

std::string header(const KitNames &names) {
    std::string text;
    text += columns({"[IBIS Ver]", kIbisVersion}, 16);
    text += "|\n| " + names.model + ": IBIS model of a serial-link transmitter with its\n";
    text += "| IBIS-AMI algorithmic model. Written by the model's build; the analog\n";
    text += "| part follows from the named numbers in the notes below.\n|\n";
    text += columns({"[File Name]", names.ibis_file()}, 16);
    text += columns({"[File Rev]", names.version}, 16);
    text += columns({"[Source]", "Generated from a generic linear driver description,"}, 16);
    text += std::string(16, ' ') + "not from measurements or circuit simulation.\n";
    return text;
}

std::string notes(const KitNames &names, const BufferDescription &b) {
    std::string text = "[Notes]\n";
    text += "The analog part of this file is GENERIC: an ideal linear driver, not\n";
    text += "the data of a measured or simulated buffer. It follows from these numbers\n";
    text += "(typ / min / max; min is the slow, weak corner, max the fast, strong one;\n";
    text += "for C_comp and the package, the smallest and largest values):\n";
    text += "  supply, the pull-up rail     " + corner_text(b.supply, "V") + "\n";
    text += "  driver impedance             " + corner_text(b.impedance, "ohm") + "\n";
    text += "  transition time, 20%-80%     " + corner_text(b.transition_time, "s") + "\n";
    text += "  ramp test load               " + format_number(b.r_load) + " ohm\n";
    text += "  C_comp                       " + corner_text(b.c_comp, "F") + "\n";
    text += "  package R                    " + corner_text(b.r_pkg, "ohm") + "\n";
    text += "  package L                    " + corner_text(b.l_pkg, "H") + "\n";
    text += "  package C                    " + corner_text(b.c_pkg, "F") + "\n";
    text += "Pull-up and pull-down are resistors of the driver impedance to the\n";
    text += "supply and to ground, linear over the swept range, without clamps. The\n";
    text += "swing into the ramp's test load is supply * R_load / (impedance + R_load);\n";
    text += "dV is 60% of it, dt the transition time.\n";
    text += "To model a real buffer, replace C_comp, the Voltage Range, Pulldown,\n";
    text += "Pullup and Ramp data of model " + names.model + " and the Package values\n";
    text += "with the buffer's own (clamps and waveforms may be added), and keep its\n";
    text += "Algorithmic Model section: the AMI libraries do not depend on them.\n";
    return text;
}

std::string component(const KitNames &names, const BufferDescription &b) {
    std::string text;
    text += columns({"[Component]", names.model}, 16);
    text += columns({"[Manufacturer]", names.manufacturer}, 16);
    text += "[Package]\n";
    text += columns({"|variable", "typ", "min", "max"}, 16);
    text += corners_row("R_pkg", b.r_pkg);
    text += corners_row("L_pkg", b.l_pkg);
    text += corners_row("C_pkg", b.c_pkg);
    text += columns({"[Pin]", "signal_name", "model_name"}, 16);
    text += columns({"1", "TXP", names.model}, 16);
    text += columns({"2", "TXN", names.model}, 16);
    text += columns({"3", "VDD", "POWER"}, 16);
    text += columns({"4", "VSS", "GND"}, 16);
    text +=
        columns({"[Diff Pin]", "inv_pin", "vdiff", "tdelay_typ", "tdelay_min", "tdelay_max"}, 11);
    text += columns({"1", "2", "200m", "0", "0", "0"}, 11);
    return text;
}

std::string model(const KitNames &names, const BufferDescription &b) {
    std::string text;
    text += columns({"[Model]", names.model}, 16);
    text += columns({"Model_type", "Output"}, 16);
    text += columns({"Polarity", "Non-Inverting"}, 16);
    text += columns({"|variable", "typ", "min", "max"}, 16);
    text += corners_row("C_comp", b.c_comp);
    text += columns({"|", "typ", "min", "max"}, 16);
    text += corners_row("[Voltage Range]", b.supply);
    text += iv_table("[Pulldown]", "Voltage", pulldown_table(b));
    text += iv_table("[Pullup]", "Vsupply-Vpad", pullup_table(b));
    const Ramp r = ramp(b);
    text += "[Ramp]\n";
    text += columns({"|variable", "typ", "min", "max"}, 16);
    text += columns({"dV/dt_r", ratio(r.typ), ratio(r.min), ratio(r.max)}, 16);
    text += columns({"dV/dt_f", ratio(r.typ), ratio(r.min), ratio(r.max)}, 16);
    text += "R_load = " + format_number(b.r_load) + "\n";
    text += "[Algorithmic Model]\n";
    for (int bits : {32, 64}) {
        text += "Executable Linux_gcc_" + std::to_string(bits) + " " + names.library(bits) + " " +
                names.parameter_file() + "\n";
    }
    text += "[End Algorithmic Model]\n";
    return text;
}

}  // namespace

std::string write_ibis(const KitNames &names, const BufferDescription &buffer) {
    return header(names) + notes(names, buffer) + component(names, buffer) + "|\n" +
           model(names, buffer) + "|\n[End]\n";
}

}  // namespace ibis
