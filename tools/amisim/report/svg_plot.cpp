#include "tools/amisim/report/svg_plot.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace amisim {

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string formatted(const char *format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    if (std::strtod(text, nullptr) == 0.0) {
        std::snprintf(text, sizeof text, format, 0.0);  // no "-0"
    }
    return text;
}

}  // namespace

Svg::Svg(int width, int height) : width_(width), height_(height) {}

void Svg::rect(double x, double y, double w, double h, const std::string &fill) {
    body_ += "<rect x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" + number(w) +
             "\" height=\"" + number(h) + "\" fill=\"" + fill + "\"/>\n";
}

void Svg::line(double x1, double y1, double x2, double y2, const std::string &stroke, double width,
               const std::string &dash) {
    body_ += "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) +
             "\" y2=\"" + number(y2) + "\" stroke=\"" + stroke + "\" stroke-width=\"" +
             number(width) + "\"" + (dash.empty() ? "" : " stroke-dasharray=\"" + dash + "\"") +
             "/>\n";
}

void Svg::polyline(const std::vector<std::pair<double, double>> &points, const std::string &stroke,
                   double width) {
    body_ += "<polyline fill=\"none\" stroke=\"" + stroke + "\" stroke-width=\"" + number(width) +
             "\" stroke-linejoin=\"round\" points=\"";
    for (const auto &[x, y] : points) {
        body_ += number(x) + "," + number(y) + " ";
    }
    body_ += "\"/>\n";
}

void Svg::circle(double x, double y, double r, const std::string &fill) {
    body_ += "<circle cx=\"" + number(x) + "\" cy=\"" + number(y) + "\" r=\"" + number(r) +
             "\" fill=\"" + fill + "\"/>\n";
}

void Svg::path(const std::string &d, const std::string &fill) {
    body_ += "<path fill=\"" + fill + "\" d=\"" + d + "\"/>\n";
}

void Svg::rect_path(std::string &d, double x, double y, double w, double h) {
    // Tenths of a pixel: plenty for cells, and a third less text.
    char text[96];
    std::snprintf(text, sizeof text, "M%.1f %.1fh%.1fv%.1fh%.1fz", x, y, w, h, -w);
    d += text;
}

void Svg::text(double x, double y, const std::string &content, double size,
               const std::string &anchor, const std::string &fill, double rotate) {
    body_ += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" font-size=\"" + number(size) +
             "\" text-anchor=\"" + anchor + "\" fill=\"" + fill + "\"";
    if (rotate != 0.0) {
        body_ +=
            " transform=\"rotate(" + number(rotate) + " " + number(x) + " " + number(y) + ")\"";
    }
    body_ += ">" + escaped(content) + "</text>\n";
}

void Svg::embed(const Svg &picture, double x, double y, double scale) {
    // A nested <svg> with its own coordinates: every browser and SVG
    // renderer draws it, scaled to the width and height given here.
    body_ += "<svg x=\"" + number(x) + "\" y=\"" + number(y) + "\" width=\"" +
             number(picture.width_ * scale) + "\" height=\"" + number(picture.height_ * scale) +
             "\" viewBox=\"0 0 " + std::to_string(picture.width_) + " " +
             std::to_string(picture.height_) +
             "\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n" + picture.body_ +
             "</svg>\n";
}

std::string Svg::str() const {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           std::to_string(width_) + "\" height=\"" + std::to_string(height_) + "\" viewBox=\"0 0 " +
           std::to_string(width_) + " " + std::to_string(height_) +
           "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n" +
           body_ + "</svg>\n";
}

bool Svg::write(const std::string &path, std::string &error) const {
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = str();
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        error = path + ": write failed";
        return false;
    }
    return true;
}

std::vector<double> nice_ticks(double lo, double hi, int count) {
    std::vector<double> ticks;
    if (!(hi > lo) || count < 1 || !std::isfinite(hi - lo)) {
        return ticks;
    }
    const double rough = (hi - lo) / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) {
            break;
        }
    }
    for (double k = std::ceil(lo / step); k * step <= hi + 1e-9 * step; k += 1.0) {
        ticks.push_back(k * step);
    }
    return ticks;
}

PlotFrame::PlotFrame(double left, double top, double width, double height, double x_lo, double x_hi,
                     double y_lo, double y_hi)
    : left_(left),
      top_(top),
      width_(width),
      height_(height),
      x_lo_(x_lo),
      x_hi_(x_hi > x_lo ? x_hi : x_lo + 1.0),
      y_lo_(y_lo),
      y_hi_(y_hi > y_lo ? y_hi : y_lo + 1.0),
      x_scale_(width / (x_hi_ - x_lo_)),
      y_scale_(height / (y_hi_ - y_lo_)) {}

void PlotFrame::draw_axes(Svg &svg, const std::string &x_title, const std::string &y_title,
                          const char *x_format, const char *y_format,
                          const std::string &grid) const {
    const double bottom = top_ + height_;
    for (double t : nice_ticks(x_lo_, x_hi_, 8)) {
        svg.line(x(t), top_, x(t), bottom, grid, 0.6);
        svg.text(x(t), bottom + 15, formatted(x_format, t), 11, "middle");
    }
    for (double t : nice_ticks(y_lo_, y_hi_, 6)) {
        svg.line(left_, y(t), left_ + width_, y(t), grid, 0.6);
        svg.text(left_ - 6, y(t) + 4, formatted(y_format, t), 11, "end");
    }
    svg.line(left_, bottom, left_ + width_, bottom, "#444", 1);
    svg.line(left_, top_, left_, bottom, "#444", 1);
    svg.text(left_ + width_ / 2, bottom + 34, x_title, 12, "middle");
    svg.text(left_ - 52, top_ + height_ / 2, y_title, 12, "middle", "#222", -90);
}

}  // namespace amisim
