// Drawing the plots: rectangles, lines and text in a fixed view box.
#include "svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "civil.h"

namespace {

const char* const COLOURS[NDIRS] = {"#2b6cb0", "#38a169", "#dd6b20", "#805ad5"};
const char* const DIRLABELS[NDIRS] = {"outgoing", "incoming", "tandem", "internal"};

std::string fmt(const char* f, double a, double b = 0, double c = 0, double d = 0)
{
    char s[256];
    std::snprintf(s, sizeof s, f, a, b, c, d);
    return s;
}

std::string open(int w, int h, const char* label)
{
    char s[256];
    std::snprintf(s, sizeof s,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %d %d\" role=\"img\" "
                  "aria-label=\"%s\" font-family=\"sans-serif\" font-size=\"11\">\n",
                  w, h, label);
    return s;
}

std::string label(double x, double y, const std::string& t, const char* anchor = "middle")
{
    return fmt("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"", x, y) + anchor + "\">" + t + "</text>\n";
}

// A round step for about `ticks` grid lines up to max.
double step(double max, int ticks)
{
    if (max <= 0)
        return 1;
    double raw = max / ticks, p = std::pow(10, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

std::string number(double v)
{
    return v == std::floor(v) ? fmt("%.0f", v) : fmt("%g", v);
}

// Horizontal grid lines and their values, from y0 (value 0) up h units.
std::string grid(double left, double right, double y0, double h, double max, double st)
{
    std::string s;
    for (double v = 0; v <= max + st / 1e6; v += st) {
        double y = y0 - v / max * h;
        s += fmt("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n", left, y, right, y);
        s += label(left - 4, y + 4, number(v), "end");
    }
    return s;
}

}  // namespace

std::string heatmap(const std::array<std::array<long, 24>, 7>& calls)
{
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    long max = 0;
    for (auto& d : calls)
        for (long n : d)
            max = std::max(max, n);
    const double left = 40, top = 22, cw = 28, ch = 24;
    std::string s = open(720, 210, "calls by weekday and hour");
    for (int h = 0; h < 24; h++)
        s += label(left + h * cw + cw / 2, top - 6, fmt("%02.0f", h));
    for (int d = 0; d < 7; d++) {
        s += label(left - 6, top + d * ch + ch / 2 + 4, days[d], "end");
        for (int h = 0; h < 24; h++) {
            long n = calls[size_t(d)][size_t(h)];
            double f = max ? double(n) / max : 0;
            // From white to deep blue as the count rises.
            int r = int(255 - f * (255 - 23)), g = int(255 - f * (255 - 78)), b = int(255 - f * (255 - 140));
            s += fmt("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" ", left + h * cw,
                     top + d * ch, cw - 1, ch - 1) +
                 fmt("fill=\"rgb(%.0f,%.0f,%.0f)\" stroke=\"#eee\"/>\n", r, g, b);
            if (n > 0)
                s += "<text x=\"" + fmt("%.1f", left + h * cw + cw / 2) + "\" y=\"" +
                     fmt("%.1f", top + d * ch + ch / 2 + 3) + "\" text-anchor=\"middle\" font-size=\"8\" fill=\"" +
                     (f > 0.55 ? "#fff" : "#333") + "\">" + std::to_string(n) + "</text>\n";
        }
    }
    s += label(left, top + 7 * ch + 16, "hour of the day (the hour the call ended); darkest: " +
                                            std::to_string(max) + " calls", "start");
    return s + "</svg>\n";
}

std::string daybars(const std::vector<std::array<long, NDIRS>>& perday, long long firstday)
{
    const double left = 46, right = 712, top = 26, bottom = 196;
    long max = 0;
    for (auto& d : perday) {
        long n = 0;
        for (long v : d)
            n += v;
        max = std::max(max, n);
    }
    double st = step(double(max), 4);
    double ymax = max > 0 ? std::ceil(max / st) * st : 1;
    std::string s = open(720, 222, "calls per day");
    s += grid(left, right, bottom, bottom - top, ymax, st);
    for (int d = 0; d < NDIRS; d++) {
        s += fmt("<rect x=\"%.1f\" y=\"6\" width=\"10\" height=\"10\" fill=\"", left + d * 110.0) +
             COLOURS[d] + "\"/>\n";
        s += label(left + d * 110.0 + 14, 15, DIRLABELS[d], "start");
    }
    size_t n = std::max<size_t>(perday.size(), 1);
    double w = (right - left) / double(n);
    size_t every = (n + 14) / 15;
    for (size_t i = 0; i < perday.size(); i++) {
        double y = bottom;
        for (int d = 0; d < NDIRS; d++) {
            double h = perday[i][size_t(d)] / ymax * (bottom - top);
            if (h <= 0)
                continue;
            y -= h;
            s += fmt("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"", left + i * w + w * 0.1,
                     y, w * 0.8, h) +
                 COLOURS[d] + "\"/>\n";
        }
        if (i % every == 0) {
            std::string date = datetext(firstday + (long long)i);
            s += label(left + i * w + w / 2, bottom + 14, date.substr(8, 2) + "." + date.substr(5, 2) + ".");
        }
    }
    s += fmt("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#555\"/>\n", left, bottom, right, bottom);
    return s + "</svg>\n";
}

std::string profile(const std::vector<long long>& secs, int start)
{
    const double left = 46, right = 712, top = 12, bottom = 172;
    std::array<double, QUARTERS> avg{}, high{};
    int days = 0;
    for (size_t day = 0; day + QUARTERS <= secs.size(); day += QUARTERS) {
        if (std::all_of(&secs[day], &secs[day] + QUARTERS, [](long long v) { return v == 0; }))
            continue;
        days++;
        for (size_t q = 0; q < QUARTERS; q++) {
            double e = double(secs[day + q]) / QUARTER;
            avg[q] += e;
            high[q] = std::max(high[q], e);
        }
    }
    double max = 0;
    for (size_t q = 0; q < QUARTERS; q++) {
        avg[q] = days ? avg[q] / days : 0;
        max = std::max(max, high[q]);
    }
    double st = step(max, 4);
    double ymax = max > 0 ? std::ceil(max / st) * st : 1;
    double w = (right - left) / QUARTERS;
    std::string s = open(720, 196, "erlangs per quarter hour of the day");
    if (start >= 0)
        s += fmt("<rect x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\" fill=\"#fde8c8\"/>\n",
                 left + start * w, top, 4 * w, bottom - top);
    s += grid(left, right, bottom, bottom - top, ymax, st);
    for (size_t q = 0; q < QUARTERS; q++) {
        double h = avg[q] / ymax * (bottom - top);
        if (h > 0)
            s += fmt("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"#2b6cb0\"/>\n",
                     left + q * w + 0.5, bottom - h, w - 1, h);
    }
    std::string pts;
    for (size_t q = 0; q < QUARTERS; q++)
        pts += fmt("%.1f,%.1f ", left + q * w + w / 2, bottom - high[q] / ymax * (bottom - top));
    s += "<polyline fill=\"none\" stroke=\"#c53030\" stroke-width=\"1.2\" points=\"" + pts + "\"/>\n";
    for (int h = 0; h <= 24; h += 3)
        s += label(left + h * 4 * w, bottom + 14, fmt("%02.0f:00", h), h == 24 ? "end" : "middle");
    s += fmt("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#555\"/>\n", left, bottom, right, bottom);
    return s + "</svg>\n";
}
