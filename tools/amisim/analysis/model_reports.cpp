#include "tools/amisim/analysis/model_reports.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/amisim/models/parameter_lists.h"

namespace amisim {

namespace {

bool blank(const char *text) {
    for (; *text != '\0'; ++text) {
        if (std::strchr(" \t\r\n", *text) == nullptr) {
            return false;
        }
    }
    return true;
}

struct Moments {
    double mean = 0.0;
    double deviation = 0.0;
};

// Mean and standard deviation of points[from, to), about their mean.
Moments moments(const std::vector<ReportPoint> &points, std::size_t from, std::size_t to) {
    Moments m;
    const auto n = static_cast<double>(to - from);
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += points[i].value;
    }
    m.mean = sum / n;
    double squares = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double d = points[i].value - m.mean;
        squares += d * d;
    }
    m.deviation = std::sqrt(squares / n);
    return m;
}

SeriesSummary summarise(const std::vector<ReportPoint> &points, double lowest, double highest,
                        const ModelReportLimits &limits) {
    SeriesSummary s;
    s.first = points.front();
    s.last = points.back();
    s.lowest = lowest;
    s.highest = highest;
    const std::size_t n = points.size();
    const auto share =
        static_cast<std::size_t>(std::ceil(limits.settle_share * static_cast<double>(n)));
    const std::size_t window = std::clamp<std::size_t>(share, 1, n);
    const Moments last = moments(points, n - window, n);
    s.settled = last.mean;
    s.spread = last.deviation;
    if (n >= 2 * window) {
        const Moments before = moments(points, n - 2 * window, n - window);
        s.drift = last.mean - before.mean;
        const double scale = std::max(std::fabs(lowest), std::fabs(highest));
        s.has_settled = std::fabs(s.drift) <= std::max(std::min(last.deviation, before.deviation),
                                                       limits.settle_tolerance * scale);
    }
    return s;
}

// The entry of key, found through index_of, or made by make() and added
// while there are fewer than limit; null when there is no room.
template <typename Entry, typename Make>
Entry *entry_for(const std::string &key, std::map<std::string, std::size_t> &index_of,
                 std::vector<Entry> &entries, std::size_t limit, Make make) {
    const auto found = index_of.find(key);
    if (found != index_of.end()) {
        return &entries[found->second];
    }
    if (entries.size() >= limit) {
        return nullptr;
    }
    index_of.emplace(key, entries.size());
    entries.push_back(make());
    return &entries.back();
}

}  // namespace

ModelReports::ModelReports(const ModelReportLimits &limits) : limits_(limits) {
    limits_.points = std::max<std::size_t>(2, limits_.points & ~std::size_t{1});
}

void ModelReports::add(std::uint64_t call, double time, const char *text) {
    ++counts_.calls;
    if (text == nullptr || blank(text)) {
        ++counts_.without_text;
        return;
    }
    std::string error;
    const auto lists = read_parameter_lists(text, error);
    if (!error.empty() || lists->children.empty()) {
        ++counts_.unread;
        add_text(text, call);
        return;
    }
    ++counts_.read;
    const ReportPoint at{call, time, 0.0};
    for (const auto &root : lists->children) {
        // The root's own values go under its name; its lists under theirs.
        for (const auto &child : root->children) {
            add_lists(*child, child->name, at);
        }
        if (!root->values.empty()) {
            ParameterList values_only;
            values_only.values = root->values;
            add_lists(values_only, root->name, at);
        }
    }
}

void ModelReports::add_lists(const ParameterList &list, const std::string &path,
                             const ReportPoint &at) {
    const std::size_t count = list.values.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = count == 1 ? path : path + "[" + std::to_string(i) + "]";
        ReportPoint point = at;
        if (parameter_number(list.values[i], point.value)) {
            add_value(name, point);
        } else {
            add_text(name + " " + list.values[i], at.call);
        }
    }
    for (const auto &child : list.children) {
        add_lists(*child, path + "." + child->name, at);
    }
}

void ModelReports::add_value(const std::string &name, const ReportPoint &point) {
    Track *found = entry_for(name, track_of_, tracks_, limits_.series, [&] {
        Track made;
        made.name = name;
        made.lowest = point.value;
        made.highest = point.value;
        return made;
    });
    if (found == nullptr) {
        ++counts_.values_left_out;
        return;
    }
    Track &track = *found;
    track.lowest = std::min(track.lowest, point.value);
    track.highest = std::max(track.highest, point.value);
    if (track.reports > 0 && track.last.call == point.call) {
        // Named twice in one string: the later value stands for the call.
        if (track.kept.back().call == point.call) {
            track.kept.back().value = point.value;
        }
        track.last.value = point.value;
        return;
    }
    if (track.reports % track.stride == 0) {
        track.kept.push_back(point);
        if (track.kept.size() >= limits_.points) {
            std::size_t keep = 0;
            for (std::size_t i = 0; i < track.kept.size(); i += 2) {
                track.kept[keep++] = track.kept[i];
            }
            track.kept.resize(keep);
            track.stride *= 2;
        }
    }
    track.last = point;
    ++track.reports;
}

void ModelReports::add_text(const std::string &text, std::uint64_t call) {
    const std::string cut =
        text.size() > limits_.text_length ? text.substr(0, limits_.text_length) + "..." : text;
    ReportText *entry = entry_for(cut, text_of_, texts_, limits_.texts, [&] {
        return ReportText{cut, 0, call, call};
    });
    if (entry == nullptr) {
        ++counts_.texts_left_out;
        return;
    }
    ++entry->count;
    entry->last_call = call;
}

std::vector<ReportSeries> ModelReports::series() const {
    std::vector<ReportSeries> all;
    all.reserve(tracks_.size());
    for (const Track &track : tracks_) {
        ReportSeries s;
        s.name = track.name;
        s.reports = track.reports;
        s.stride = track.stride;
        s.points = track.kept;
        if (s.points.back().call != track.last.call) {
            s.points.push_back(track.last);
        }
        s.summary = summarise(s.points, track.lowest, track.highest, limits_);
        all.push_back(std::move(s));
    }
    return all;
}

}  // namespace amisim
