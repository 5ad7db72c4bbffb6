// What a model reports while it runs: the output parameter string of each
// of its AMI_GetWave calls, e.g. (Example_Rx (DFE_Taps_Now 0.12 -0.03)
// (CDR_Phase 0.47)), read with the toolkit's own lexer and grammar.
//
// Every number becomes a point of the series of its name: the path of lists
// below the string's root, joined by '.', with [i] for the i-th of several
// values ("DFE_Taps_Now[0]", "DFE_Taps_Now[1]", "CDR_Phase", "CTLE.Gain").
// A value that is not a finite number is kept as the text "name value", a
// string that does not read as lists (or holds none) as the whole text:
// distinct texts with how often they came, up to a limit.
//
// Memory stays bounded however long the run. A series keeps the first
// report and then every stride-th one, stride 1 at first: when it holds
// `points` of them, every second is dropped and the stride doubles. Its
// latest report is kept as well, so the points run from the first call to
// the last one that reported the name.
#ifndef AMISIM_MODEL_REPORTS_H
#define AMISIM_MODEL_REPORTS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace amisim {

struct ParameterList;

struct ReportPoint {
    std::uint64_t call = 0;  // the AMI_GetWave call, as the caller counts them
    double time = 0.0;       // s, as the caller gave it for the call
    double value = 0.0;
};

// A series in brief. Its settled value is the mean over the last tenth
// (settle_share) of its points, at least one; those points are spread
// evenly over the last tenth of the calls that reported it. The series has
// settled when that mean differs from the mean over the tenth before it
// (its drift) by no more than the smaller of the two tenths' spreads, or
// than settle_tolerance times the largest magnitude the series took: a
// value that still moves drifts by more than it scatters, one that wanders
// about its mean does not. At least two points are needed.
struct SeriesSummary {
    ReportPoint first;
    ReportPoint last;
    double settled = 0.0;
    double spread = 0.0;  // standard deviation of the values averaged for settled
    double drift = 0.0;   // settled less the mean of the tenth before
    bool has_settled = false;
    double lowest = 0.0;  // over every report, kept or not
    double highest = 0.0;
};

struct ReportSeries {
    std::string name;
    std::uint64_t reports = 0;  // calls that reported it
    std::uint64_t stride = 1;   // points kept: every stride-th report, and the last
    std::vector<ReportPoint> points;
    SeriesSummary summary;
};

struct ReportText {
    std::string text;  // cut to text_length characters, "..." after a cut
    std::uint64_t count = 0;
    std::uint64_t first_call = 0;
    std::uint64_t last_call = 0;
};

struct ModelReportLimits {
    std::size_t points = 1024;  // kept per series before thinning (even, at least 2)
    std::size_t series = 256;
    std::size_t texts = 32;  // distinct texts
    std::size_t text_length = 1000;
    double settle_share = 0.1;
    double settle_tolerance = 0.01;
};

struct ModelReportCounts {
    std::uint64_t calls = 0;            // add() calls
    std::uint64_t without_text = 0;     // null, empty or blank
    std::uint64_t read = 0;             // read as lists
    std::uint64_t unread = 0;           // kept as a whole text
    std::uint64_t values_left_out = 0;  // of names beyond the series limit
    std::uint64_t texts_left_out = 0;   // occurrences of texts beyond the text limit
};

class ModelReports {
  public:
    explicit ModelReports(const ModelReportLimits &limits = {});

    // The output parameter string of one call (null when the model gave
    // none), the call's number and its time. Calls come in order.
    void add(std::uint64_t call, double time, const char *text);

    // Every series with its summary, in the order their names first came.
    std::vector<ReportSeries> series() const;
    // The distinct texts, in the order they first came.
    const std::vector<ReportText> &texts() const { return texts_; }
    const ModelReportCounts &counts() const { return counts_; }

  private:
    struct Track {
        std::string name;
        std::uint64_t reports = 0;
        std::uint64_t stride = 1;
        std::vector<ReportPoint> kept;
        ReportPoint last;
        double lowest = 0.0;
        double highest = 0.0;
    };

    void add_value(const std::string &name, const ReportPoint &point);
    void add_text(const std::string &text, std::uint64_t call);
    void add_lists(const ParameterList &list, const std::string &path, const ReportPoint &at);

    ModelReportLimits limits_;
    std::vector<Track> tracks_;
    std::map<std::string, std::size_t> track_of_;
    std::vector<ReportText> texts_;
    std::map<std::string, std::size_t> text_of_;
    ModelReportCounts counts_;
};

}  // namespace amisim

#endif  // AMISIM_MODEL_REPORTS_H
