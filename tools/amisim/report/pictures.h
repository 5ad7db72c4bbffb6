// The stand-in's pictures, as SVG that any browser opens: the eye density
// with its height at the best phase, the pulse responses before and after
// the model, and the bathtub (eye height against sampling phase).
#ifndef AMISIM_PICTURES_H
#define AMISIM_PICTURES_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/report/svg_plot.h"

namespace amisim {

// Where an eye's height is drawn: its phase slot, its edges there and,
// where it has one to show (NaN: none), its threshold.
struct EyeMark {
    bool measured = false;
    int slot = 0;
    double lower = 0.0;
    double upper = 0.0;
    double height = 0.0;
    double threshold = 0.0;
};
// An eye's mark at its best phase, without a threshold.
EyeMark best_phase_mark(const EyeFigures &figures);

// The density over two unit intervals, the cursor in the middle, colour on
// a logarithmic scale of samples per cell; each eye's height drawn where
// its mark says (with one eye, at its best phase).
Svg eye_picture(const EyeDensity &eye, const std::vector<EyeMark> &marks, const std::string &title,
                const std::string &subtitle,
                const std::string &x_title = "time from the main cursor (UI)");
inline Svg eye_picture(const EyeDensity &eye, const EyeFigures &figures, const std::string &title,
                       const std::string &subtitle,
                       const std::string &x_title = "time from the main cursor (UI)") {
    return eye_picture(eye, std::vector<EyeMark>{best_phase_mark(figures)}, title, subtitle,
                       x_title);
}
inline Svg eye_picture(const EyeAccumulator &eye, const EyeFigures &figures,
                       const std::string &title, const std::string &subtitle) {
    return eye_picture(eye.density(), figures, title, subtitle);
}

// One curve of a picture: what it shows, its name in the legend, its colour.
template <typename Figures>
struct Curve {
    const Figures *figures;
    std::string name;
    std::string colour;
};

// Pulse responses over 4 bits before to 16 bits after the first one's main
// cursor, with dots one bit apart from each one's own cursor.
Svg pulse_picture(const std::vector<Curve<ResponseFigures>> &curves, int samples_per_bit,
                  double sample_interval);
// The two of a model: before and after AMI_Init.
Svg pulse_picture(const ResponseFigures &before, const ResponseFigures &after, int samples_per_bit,
                  double sample_interval);

// Eye height against phase, for each curve; what the height is, for the
// subtitle.
Svg bathtub_picture(const std::vector<Curve<EyeFigures>> &curves, int samples_per_bit,
                    double sample_interval, const std::string &x_title,
                    const std::string &height = "lowest 1 minus highest 0");
// The waveform before the model and, when after is not null, after it.
Svg bathtub_picture(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                    double sample_interval);

// The density pictures' colour at level 0 (none) .. 1 (the most): black,
// purple, red, orange, pale yellow.
std::string heat_colour(double level);

// A density as cells of colour: column c spans x from column_x(c).first to
// .second, row r y from row_y(r) to row_y(r + 1); level(c, r) is the
// cell's colour level, 0 to levels - 1 on the heat scale, or -1 for none.
// Equal levels down a column make one rectangle, and each level one path,
// which keeps the picture small.
void draw_density(Svg &svg, int columns, int first_row, int last_row, int levels,
                  const std::function<int(int, int)> &level,
                  const std::function<std::pair<double, double>(int)> &column_x,
                  const std::function<double(int)> &row_y);

// The colours of the pictures' curves, in order.
inline constexpr const char *kCurveColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd"};

}  // namespace amisim

#endif  // AMISIM_PICTURES_H
