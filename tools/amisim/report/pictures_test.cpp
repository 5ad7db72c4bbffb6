// The pictures rendered by a real SVG renderer (rsvg-convert): each must
// parse, come out at its stated size and show what it is meant to show.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tools/amisim/analysis/eye.h"
#include "tools/amisim/analysis/response_figures.h"
#include "tools/amisim/channel/channel_stream.h"
#include "tools/amisim/report/figure_tables.h"
#include "tools/amisim/report/pictures.h"
#include "tools/amisim/report/report_page.h"
#include "tools/amisim/report/trajectory_picture.h"

namespace {

struct Image {
    bool ok = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes a pixel

    // Share of the pixels within 40 (per channel) of the colour.
    double share_near(int r, int g, int b) const {
        std::size_t near = 0;
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            near += std::abs(rgb[i] - r) < 40 && std::abs(rgb[i + 1] - g) < 40 &&
                    std::abs(rgb[i + 2] - b) < 40;
        }
        return static_cast<double>(near) / (static_cast<double>(rgb.size()) / 3.0);
    }
    std::size_t colours() const {
        std::set<std::uint32_t> seen;
        for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
            seen.insert(static_cast<std::uint32_t>(rgb[i]) << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
        }
        return seen.size();
    }
};

// Writes the picture, renders it to PNG and reads the pixels back.
Image render(const amisim::Svg &svg, const std::string &name) {
    const std::string base = ::testing::TempDir() + "amisim_picture_" + name;
    std::string error;
    Image image;
    if (!svg.write(base + ".svg", error)) {
        ADD_FAILURE() << error;
        return image;
    }
    const std::string command =
        "rsvg-convert --format=png --output='" + base + ".png' '" + base + ".svg'";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "rsvg-convert failed on " << base << ".svg (apt-get install librsvg2-bin)";
        return image;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, (base + ".png").c_str()) == 0) {
        ADD_FAILURE() << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGB;
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << png.message;
        return image;
    }
    image.ok = true;
    image.width = png.width;
    image.height = png.height;
    return image;
}

// An eye and figures from a short run of a lossy channel.
struct ShortRun {
    amisim::ResponseFigures response;
    amisim::ResponseFigures sharper;
    amisim::EyeAccumulator eye;
    amisim::EyeFigures figures;
};

ShortRun short_run(double loss) {
    const int spb = 16;
    std::vector<double> impulse(20 * spb);
    for (std::size_t k = 0; k < impulse.size(); ++k) {
        impulse[k] = std::exp(-static_cast<double>(k) / (loss * spb)) / (loss * spb);
    }
    std::vector<double> sharper(impulse.size());
    for (std::size_t k = 0; k < impulse.size(); ++k) {
        sharper[k] = (k < 4 ? 3.0 : 0.5) * impulse[k];
    }
    const amisim::ResponseFigures response = amisim::measure_response(impulse, spb, 1.0);
    amisim::EyeLayout layout;
    layout.samples_per_bit = spb;
    layout.centre = response.eye_centre;
    layout.settle_bits = 21;
    layout.expected_swing = response.swing;
    ShortRun run{
        response, amisim::measure_response(sharper, spb, 1.0), amisim::EyeAccumulator(layout), {}};
    amisim::NrzSource source(7, spb);
    amisim::ChannelStream channel(impulse, source, amisim::Convolution::kDirect);
    std::vector<double> wave(2000 * spb);
    channel.read(wave.data(), wave.size());
    run.eye.add(wave.data(), wave.size());
    run.figures = amisim::eye_figures(run.eye);
    return run;
}

// Two DFE taps settling from their first values and a clock phase, as a
// receiver reports them over 400 calls.
std::vector<amisim::ReportSeries> reported_series() {
    amisim::ModelReports reports;
    for (int k = 0; k < 400; ++k) {
        const double settling = std::exp(-k / 60.0);
        const std::string text = "(Rx (DFE_Taps_Now " + std::to_string(-0.1 + 0.05 * settling) +
                                 " " + std::to_string(0.02 * settling) + ")(CDR_Phase " +
                                 std::to_string(0.4 * (1.0 - settling)) + "))";
        reports.add(static_cast<std::uint64_t>(k), k * 1e-8, text.c_str());
    }
    return reports.series();
}

struct PictureCase {
    const char *name;
    std::function<amisim::Svg()> draw;
    std::uint32_t width, height;
    double least_dark;  // share of the near-black plot background of the eye
    double least_blue;  // share of the "before" curve's colour
    double least_red;   // share of the "after" curve's colour (0: none expected)
    std::size_t least_colours;
};

TEST(AmisimPictures, RenderAtTheirSizeShowingTheirContent) {
    const ShortRun open = short_run(0.5);
    const ShortRun closed = short_run(3.0);
    ASSERT_GT(open.figures.height, 0.0);
    ASSERT_LT(closed.figures.height, 0.0);
    const std::vector<amisim::ReportSeries> reported = reported_series();
    const std::vector<PictureCase> cases{
        {"eye_open", [&] { return amisim::eye_picture(open.eye, open.figures, "Eye", "open"); },
         780, 520, 0.25, 0.0, 0.0, 30},
        {"eye_closed",
         [&] { return amisim::eye_picture(closed.eye, closed.figures, "Eye", "closed"); }, 780, 520,
         0.1, 0.0, 0.0, 30},
        {"eye_empty",
         [&] {
             const amisim::EyeAccumulator empty(amisim::EyeLayout{});
             return amisim::eye_picture(empty, amisim::eye_figures(empty), "Eye", "no samples");
         },
         780, 520, 0.4, 0.0, 0.0, 2},
        {"pulse", [&] { return amisim::pulse_picture(open.response, open.sharper, 16, 1e-12); },
         780, 480, 0.0, 0.0008, 0.0008, 10},
        {"bathtub_both",
         [&] { return amisim::bathtub_picture(open.figures, &closed.figures, 16, 1e-12); }, 780,
         460, 0.0, 0.002, 0.002, 10},
        {"bathtub_before_only",
         [&] { return amisim::bathtub_picture(closed.figures, nullptr, 16, 1e-12); }, 780, 460, 0.0,
         0.002, 0.0, 10},
        {"trajectories", [&] { return amisim::trajectory_picture(reported, "Receiver"); }, 780, 550,
         0.0, 0.002, 0.001, 10},
    };
    for (const PictureCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Image image = render(c.draw(), c.name);
        ASSERT_TRUE(image.ok);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_GE(image.colours(), c.least_colours);
        EXPECT_LT(image.share_near(255, 255, 255), 0.98);  // not blank
        EXPECT_GE(image.share_near(0, 0, 4), c.least_dark);
        EXPECT_GE(image.share_near(0x1f, 0x77, 0xb4), c.least_blue);
        if (c.least_red > 0.0) {
            EXPECT_GE(image.share_near(0xd6, 0x27, 0x28), c.least_red);
        } else if (c.least_blue > 0.0) {
            EXPECT_LT(image.share_near(0xd6, 0x27, 0x28), 0.0005);
        }
    }
}

// The report page: at the size it states, with its pictures in it (the
// eye's dark background, the three curves' colours) and its tables.
TEST(AmisimPictures, ReportPageShowsItsPicturesAndTables) {
    const ShortRun open = short_run(0.5);
    const ShortRun closed = short_run(3.0);
    amisim::ReportContent content;
    content.title = "report";
    content.setting = {"transmitter: t.so", "channel: c", "simulation: s"};
    content.pulse = amisim::pulse_picture({{&open.response, "a", amisim::kCurveColours[0]},
                                           {&open.sharper, "b", amisim::kCurveColours[1]},
                                           {&closed.response, "c", amisim::kCurveColours[2]}},
                                          16, 1e-12);
    content.eye = amisim::eye_picture(open.eye, open.figures, "Eye", "open");
    content.bathtub = amisim::bathtub_picture(open.figures, &closed.figures, 16, 1e-12);
    content.statistical =
        amisim::response_table("pulse", {{"a", &open.response}, {"b", &open.sharper}});
    content.time_domain =
        amisim::eye_table("eye", {{"open", &open.figures}, {"none", nullptr}}, 16, 1e-12);
    content.notes = {"a note"};
    const amisim::Svg page = amisim::report_page(content);
    const Image image = render(page, "report");
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.width, static_cast<std::uint32_t>(page.width()));
    EXPECT_EQ(image.height, static_cast<std::uint32_t>(page.height()));
    EXPECT_GE(page.width(), 1500);
    // Taller than the eye and the bathtub above each other.
    EXPECT_GE(page.height(), 520 + 460);
    EXPECT_GE(image.share_near(0, 0, 4), 0.02);             // the eye's background
    EXPECT_GE(image.share_near(0x1f, 0x77, 0xb4), 0.0005);  // first curves
    EXPECT_GE(image.share_near(0xd6, 0x27, 0x28), 0.0005);  // second curves
    EXPECT_GE(image.share_near(0x2c, 0xa0, 0x2c), 0.0002);  // the third pulse response
    // The tables: a header and a row for every figure, n/a for a missing eye.
    EXPECT_EQ(content.statistical.rows.size(), 10u);
    ASSERT_EQ(content.time_domain.header.size(), 3u);
    for (const auto &row : content.time_domain.rows) {
        EXPECT_EQ(row.back(), "n/a") << row.front();
    }
    const std::string text = page.str();
    for (const char *shown :
         {"PDA: peak-distortion eye", "eye width (UI)", "a note", "transmitter: t.so"}) {
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    }
}

}  // namespace
