// The stand-in's pictures, as SVG that any browser opens: the eye density
// with its height at the best phase, the pulse responses before and after
// the model, and the bathtub (eye height against sampling phase).
#ifndef AMISIM_PICTURES_H
#define AMISIM_PICTURES_H

#include <string>

#include "tools/amisim/eye.h"
#include "tools/amisim/svg_plot.h"
#include "tools/amisim/waveforms.h"

namespace amisim {

// The density over two unit intervals, the cursor in the middle, colour on
// a logarithmic scale of samples per cell; the eye height drawn at the best
// phase.
Svg eye_picture(const EyeAccumulator &eye, const EyeFigures &figures, const std::string &title,
                const std::string &subtitle);

// Both pulse responses over 4 bits before to 16 bits after the first one's
// main cursor, with dots one bit apart from each one's own cursor.
Svg pulse_picture(const ResponseFigures &before, const ResponseFigures &after, int samples_per_bit,
                  double sample_interval);

// Eye height against phase, for the waveform before the model and, when
// after is not null, after it.
Svg bathtub_picture(const EyeFigures &before, const EyeFigures *after, int samples_per_bit,
                    double sample_interval);

}  // namespace amisim

#endif  // AMISIM_PICTURES_H
