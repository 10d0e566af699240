#pragma once
// Building blocks of the report's figures: inline SVG written into a string.
// Elements carry CSS classes; the page's stylesheet gives them colour, dash
// and weight, so a figure holds geometry and text only. Coordinates are user
// units of the figure's viewBox, y pointing down.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::report {

struct Point {
    double x, y;
};

struct Box {
    double x, y, width, height;
    double right() const { return x + width; }
    double bottom() const { return y + height; }
};

// Tick values at 1, 2 or 5 times a power of ten.
struct Ticks {
    double lo = 0.0, hi = 1.0;   // the axis range
    std::vector<double> values;  // ascending, within [lo, hi]
    int decimals = 0;            // of the labels in fixed notation; -1: `significant` digits
    int significant = 4;
};

// About `target` ticks (at least 2) over [lo, hi]. With `extend` the axis
// range grows to the outer ticks; without, it stays [lo, hi] with the ticks
// inside. A range that is empty, reversed or not finite, or too narrow for
// doubles to step through, is replaced by one around it that is not.
// `integer` keeps the step at 1 or more.
Ticks niceTicks(double lo, double hi, std::size_t target, bool extend, bool integer = false);

void appendTickLabel(std::string& out, double value, const Ticks& ticks);

// Maps [lo, hi] onto [from, to]; a vertical axis pointing up has from below to.
struct Scale {
    double lo, hi, from, to;
    double operator()(double v) const { return from + (v - lo) / (hi - lo) * (to - from); }
};

inline Scale scaleOf(const Ticks& ticks, double from, double to) { return {ticks.lo, ticks.hi, from, to}; }

// `count` (at least 1) equal bands over [from, to]: ranks, scores.
struct Bands {
    std::size_t count;
    double from, to;
    double width() const { return (to - from) / double(count); }
    double start(std::size_t i) const { return from + double(i) * width(); }
    double centre(std::size_t i) const { return from + (double(i) + 0.5) * width(); }
};

// The smallest step of 1, 2 or 5 times a power of ten that divides `count`
// things into at most `most` groups.
std::size_t niceStep(std::size_t count, std::size_t most);

// Which of `count` bands, numbered from `firstNumber`, get a label when at
// most about `most` fit: those whose number is a multiple of the smallest
// step of 1, 2 or 5 times a power of ten that leaves no more than `most`
// (the first band when no number is such a multiple).
std::vector<std::size_t> labelledBands(std::size_t count, std::size_t firstNumber, std::size_t most);

enum class Anchor { start, middle, end };
enum class Side { left, right, bottom };
// Filled shapes; their size is the radius, or half the width.
enum class Marker { dot, square, diamond };

struct FigureHeading {
    std::string_view id;           // unique in the page; the title and description ids derive from it
    std::string_view title;        // plain text
    std::string_view description;  // plain text
    double width, height;
};

// One <svg> element. The constructor writes the start tag with the title and
// description, close() the end tag. Every text passed in is escaped.
class Svg {
public:
    Svg(std::string& out, const FigureHeading& heading);
    Svg(const Svg&) = delete;
    Svg& operator=(const Svg&) = delete;
    void close();

    // A group shifted by `offset`, with a tooltip when one is given.
    void openGroup(std::string_view cls, Point offset, std::string_view tooltip = {});
    void closeGroup();
    // Program-made markup (a pattern definition); never text from the inputs.
    void append(std::string_view markup);

    void rect(const Box& box, std::string_view cls);
    void line(Point a, Point b, std::string_view cls);
    void text(Point at, std::string_view text, Anchor anchor, std::string_view cls = {});
    // Text reading upwards, centred on `at`: a vertical axis title.
    void verticalText(Point at, std::string_view text, std::string_view cls = {});
    // A line through the points, broken where a point is not finite.
    void polyline(std::span<const Point> points, std::string_view cls);
    // A marker at every finite point, all in one path.
    void markers(std::span<const Point> points, Marker marker, double size, std::string_view cls);
    // Rectangles in one path of the class: bars, heat map cells.
    void boxes(std::span<const Box> boxes, std::string_view cls, std::string_view fill = {});

private:
    void startElement(std::string_view name, std::string_view cls);
    std::string& out_;
    std::size_t openGroups_ = 0;
};

// Tick marks, labels (when `labels`) and grid lines (when `grid`) of a numeric
// axis along one side of the plot. `scale` maps tick values onto that side.
void numericAxis(Svg& svg, const Box& plot, Side side, const Ticks& ticks, const Scale& scale, bool labels, bool grid);

// Tick marks and labels of bands along the bottom or the left of the plot;
// band i is labelled i + `firstNumber`. The bands' from and to are x
// coordinates at the bottom, y coordinates on the left.
void bandAxis(Svg& svg, const Box& plot, Side side, const Bands& bands, std::span<const std::size_t> labelled,
              std::size_t firstNumber, bool labels);

// An axis title centred along a side, `distance` away from the plot.
void axisTitle(Svg& svg, const Box& plot, Side side, double distance, std::string_view title);

// Legend entries, left to right from `at` (the sample's left end, on the
// text's middle line); each returns where the next entry starts.
double legendLine(Svg& svg, Point at, std::string_view lineClass, Marker marker, double markerSize,
                  std::string_view markerClass, std::string_view label);
double legendBar(Svg& svg, Point at, std::string_view barClass, std::string_view label);

// A heat map of counts: `rows` x `columns` cells, row-major, row 0 at the
// bottom. A cell without count stays the plot's background; the others take
// one of kHeatLevels colours by their share of the largest count, and each
// level is one path.
inline constexpr std::size_t kHeatLevels = 24;
std::size_t heatLevel(std::int64_t count, std::int64_t largest);  // 0 for no count, else 1..kHeatLevels
std::string heatColour(std::size_t level);                        // "#rrggbb" for 1..kHeatLevels
void heatMap(Svg& svg, const Box& plot, std::span<const std::int64_t> counts, std::size_t columns);
// The colour scale as a vertical bar from 0 (bottom) to `largest`, with ticks on its right.
void heatLegend(Svg& svg, const Box& bar, std::int64_t largest);

}  // namespace tavrel::report
