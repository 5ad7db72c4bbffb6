// The error-rate analysis as pictures: the statistical eye (the density of
// the sampled voltage at each phase, with the contours of equal error
// rate), the bathtubs in time and in voltage with the counted rate, the
// histogram of the crossings' time-interval error with its dual-Dirac fit,
// and report_ber.svg, the page of them all with the tables.
#ifndef AMISIM_BER_PICTURES_H
#define AMISIM_BER_PICTURES_H

#include "tools/amisim/analysis/dual_dirac.h"
#include "tools/amisim/analysis/statistical_eye.h"
#include "tools/amisim/report/svg_plot.h"
#include "tools/amisim/run/run_results.h"
#include "tools/amisim/run/run_setting.h"

namespace amisim {

Svg statistical_eye_picture(const StatisticalEye &eye, const std::string &subtitle);

// The time bathtub (the rate at the threshold against phase) and the
// voltage bathtub (the rate against threshold at the best phase); with a
// count, its rate and 95% interval at the phase it was sampled at.
Svg rate_bathtub_picture(const StatisticalEye &eye, const RunResults &results);

Svg crossing_jitter_picture(const TieHistogram &histogram, const DualDiracFit &fit,
                            double total_jitter, double target_ber);

Svg ber_report_page(const RunSetting &setting, const RunResults &results);

}  // namespace amisim

#endif  // AMISIM_BER_PICTURES_H
