// Just enough SVG for the stand-in's pictures: rectangles, lines, polylines
// and text in a picture of fixed size, and a plot frame that maps data
// coordinates onto it with labelled axes.
#ifndef AMISIM_SVG_PLOT_H
#define AMISIM_SVG_PLOT_H

#include <string>
#include <utility>
#include <vector>

namespace amisim {

class Svg {
  public:
    Svg(int width, int height);
    void rect(double x, double y, double w, double h, const std::string &fill);
    void line(double x1, double y1, double x2, double y2, const std::string &stroke, double width,
              const std::string &dash = "");
    void polyline(const std::vector<std::pair<double, double>> &points, const std::string &stroke,
                  double width);
    void circle(double x, double y, double r, const std::string &fill);
    // A filled path; rectangles for it, many in one, from rect_path.
    void path(const std::string &d, const std::string &fill);
    static void rect_path(std::string &d, double x, double y, double w, double h);
    // anchor: "start", "middle" or "end"; rotate: degrees about (x, y).
    void text(double x, double y, const std::string &content, double size,
              const std::string &anchor = "start", const std::string &fill = "#222",
              double rotate = 0.0);
    // Another picture drawn into this one at (x, y), scaled by scale.
    void embed(const Svg &picture, double x, double y, double scale);
    int width() const { return width_; }
    int height() const { return height_; }
    std::string str() const;
    // Writes the picture; false with a message naming the file on error.
    bool write(const std::string &path, std::string &error) const;

  private:
    int width_;
    int height_;
    std::string body_;
};

// Round tick positions covering [lo, hi], about count of them, at steps of
// 1, 2 or 5 times a power of ten.
std::vector<double> nice_ticks(double lo, double hi, int count);

// A plot area at (left, top) of the given size in the picture, showing data
// x in [x_lo, x_hi] and y in [y_lo, y_hi] (y upwards).
class PlotFrame {
  public:
    PlotFrame(double left, double top, double width, double height, double x_lo, double x_hi,
              double y_lo, double y_hi);
    double x(double data) const { return left_ + (data - x_lo_) * x_scale_; }
    double y(double data) const { return top_ + height_ - (data - y_lo_) * y_scale_; }
    double left() const { return left_; }
    double top() const { return top_; }
    double width() const { return width_; }
    double height() const { return height_; }
    // Grid lines, tick labels (printf format) and axis titles.
    void draw_axes(Svg &svg, const std::string &x_title, const std::string &y_title,
                   const char *x_format, const char *y_format, const std::string &grid) const;

  private:
    double left_, top_, width_, height_;
    double x_lo_, x_hi_, y_lo_, y_hi_;
    double x_scale_, y_scale_;
};

}  // namespace amisim

#endif  // AMISIM_SVG_PLOT_H
