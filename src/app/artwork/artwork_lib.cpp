// The program's pictures, drawn procedurally and written as .ico and .bmp resources.
//
// Each picture is a function that paints shapes given in unit coordinates (0..1, y down)
// onto a square canvas of any size, so one description serves every size: the toolbar's
// 24 pixels at 100 % display scale are drawn again at 30, 36 and 48 for 125, 150 and 200 %,
// not stretched from the small ones.
// Shapes are signed distance functions: that gives fills, inner outlines (the shape shrunk
// by a pixel) and round joins from one primitive set. Coverage is measured by 8x8
// supersampling per pixel.
//
// The bytes must not depend on the compiler (the tool is built with g++, the test with
// clang), so only +, -, *, / and sqrt are used: they are exactly rounded everywhere. The
// sine and cosine are our own series for the same reason.
#include "artwork.h"
#include <stdint.h>
#include <stdio.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct V {
    double x, y;
};
V operator+(V a, V b) {
    return {a.x + b.x, a.y + b.y};
}
V operator-(V a, V b) {
    return {a.x - b.x, a.y - b.y};
}
V operator*(V a, double k) {
    return {a.x * k, a.y * k};
}
double Dot(V a, V b) {
    return a.x * b.x + a.y * b.y;
}
double Cross(V a, V b) {
    return a.x * b.y - a.y * b.x;
}
double Len(V a) {
    return std::sqrt(Dot(a, a));
}
V Unit(V a) {
    return a * (1.0 / Len(a));
}

double Sin(double a) {
    double turns = a / (2 * kPi);
    double whole = turns < 0 ? -double(int64_t(0.5 - turns)) : double(int64_t(turns + 0.5));
    double x = a - whole * 2 * kPi;
    double term = x, sum = x;
    for (int k = 1; k < 12; k++) {
        term = -term * x * x / double((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sum;
}
double Cos(double a) {
    return Sin(a + kPi / 2);
}
V Dir(double degrees) {
    return {Cos(degrees * kPi / 180), Sin(degrees * kPi / 180)};
}

// ---- Shapes: negative inside, positive outside, in unit coordinates.

using Shape = std::function<double(V)>;

Shape Disc(V c, double r) {
    return [=](V p) { return Len(p - c) - r; };
}

Shape Box(double x0, double y0, double x1, double y1, double radius = 0) {
    V c{(x0 + x1) / 2, (y0 + y1) / 2};
    V h{(x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius};
    return [=](V p) {
        double qx = std::fabs(p.x - c.x) - h.x, qy = std::fabs(p.y - c.y) - h.y;
        double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
        return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
    };
}

Shape Poly(std::vector<V> v) {
    return [v](V p) {
        double d = Dot(p - v[0], p - v[0]), s = 1;
        for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i, i++) {
            V e = v[j] - v[i], w = p - v[i];
            V b = w - e * std::clamp(Dot(w, e) / Dot(e, e), 0.0, 1.0);
            d = std::min(d, Dot(b, b));
            bool c1 = p.y >= v[i].y, c2 = p.y<v[j].y, c3 = e.x * w.y> e.y * w.x;
            if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) s = -s;
        }
        return s * std::sqrt(d);
    };
}

Shape Segment(V a, V b, double width) {
    return [=](V p) {
        V pa = p - a, ba = b - a;
        double h = std::clamp(Dot(pa, ba) / Dot(ba, ba), 0.0, 1.0);
        return Len(pa - ba * h) - width / 2;
    };
}

Shape Union(Shape a, Shape b) {
    return [=](V p) { return std::min(a(p), b(p)); };
}
Shape Inter(Shape a, Shape b) {
    return [=](V p) { return std::max(a(p), b(p)); };
}
Shape Grow(Shape a, double by) {
    return [=](V p) { return a(p) - by; };
}

Shape Polyline(const std::vector<V>& v, double width) {
    Shape s = Segment(v[0], v[1], width);
    for (size_t i = 2; i < v.size(); i++)
        s = Union(s, Segment(v[i - 1], v[i], width));
    return s;
}

// A stroke along a circle from angle a0 clockwise (y is down) to a1, degrees, round ends.
Shape Arc(V c, double r, double a0, double a1, double width) {
    V d0 = Dir(a0), d1 = Dir(a1);
    V e0 = c + d0 * r, e1 = c + d1 * r;
    bool wide = a1 - a0 > 180;
    return [=](V p) {
        V q = p - c;
        bool in = wide ? !(Cross(d1, q) > 0 && Cross(q, d0) > 0) : (Cross(d0, q) >= 0 && Cross(q, d1) >= 0);
        double d = in ? std::fabs(Len(q) - r) : std::min(Len(p - e0), Len(p - e1));
        return d - width / 2;
    };
}

// The head of a circling arrow at angle `at` of the circle (c, r), pointing clockwise.
Shape ArcHead(V c, double r, double at, double half, double ahead) {
    V u = Dir(at);
    V tip = c + Dir(at + ahead) * r;
    return Poly({c + u * (r + half), tip, c + u * (r - half)});
}

// ---- Canvas and painting.

struct Rgb {
    double r, g, b;
};
Rgb Hex(uint32_t v) {
    return {((v >> 16) & 255) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0};
}

// A vertical gradient between y0 (top colour) and y1; a solid colour when both are equal.
struct Paint {
    Rgb top, bottom;
    double y0, y1;
    Rgb At(double y) const {
        double t = y1 > y0 ? std::clamp((y - y0) / (y1 - y0), 0.0, 1.0) : 0.0;
        return {top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                top.b + (bottom.b - top.b) * t};
    }
};
Paint Solid(uint32_t v) {
    return {Hex(v), Hex(v), 0, 0};
}
Paint Grad(uint32_t top, uint32_t bottom, double y0, double y1) {
    return {Hex(top), Hex(bottom), y0, y1};
}

struct Pixel {
    double r = 0, g = 0, b = 0, a = 0; // premultiplied
};

struct Canvas {
    int n;
    double px;   // one pixel in unit coordinates
    double hair; // the width of outlines and insets: one pixel, two from 48 pixels on
    std::vector<Pixel> pixels;
    explicit Canvas(int size)
        : n(size), px(1.0 / size), hair(double(size >= 48 ? 2 : 1) / size), pixels(size_t(size) * size) {}
    double Snap(double v) const { return double(int64_t(v * n + 0.5)) / n; }
};

constexpr int kSub = 8;

void Fill(Canvas& c, const Shape& s, const Paint& paint, double opacity = 1) {
    for (int y = 0; y < c.n; y++) {
        for (int x = 0; x < c.n; x++) {
            V centre{(x + 0.5) * c.px, (y + 0.5) * c.px};
            double d = s(centre);
            int count;
            if (d > c.px) {
                count = 0;
            } else if (d < -c.px) {
                count = kSub * kSub;
            } else {
                count = 0;
                for (int j = 0; j < kSub; j++)
                    for (int i = 0; i < kSub; i++)
                        if (s({(x + (i + 0.5) / kSub) * c.px, (y + (j + 0.5) / kSub) * c.px}) < 0) count++;
            }
            if (!count) continue;
            double cover = opacity * count / (kSub * kSub);
            Rgb col = paint.At(centre.y);
            Pixel& p = c.pixels[size_t(y) * c.n + x];
            p.r = col.r * cover + p.r * (1 - cover);
            p.g = col.g * cover + p.g * (1 - cover);
            p.b = col.b * cover + p.b * (1 - cover);
            p.a = cover + p.a * (1 - cover);
        }
    }
}

// Pixel art for the smallest sizes: '#' paints a pixel, rows start at row `top`.
void Pixels(Canvas& c, int top, const std::vector<const char*>& rows, uint32_t colour) {
    Rgb col = Hex(colour);
    for (size_t y = 0; y < rows.size(); y++)
        for (int x = 0; rows[y][x]; x++)
            if (rows[y][x] == '#') c.pixels[(top + y) * c.n + x] = {col.r, col.g, col.b, 1};
}

// A fill with an outline of `width` pixels inside the shape's edge.
void Outlined(Canvas& c, const Shape& s, const Paint& fill, uint32_t line, double width = 1) {
    Fill(c, s, Solid(line));
    Fill(c, Grow(s, -width * c.hair), fill);
}

// ---- The palette: a few ramps, each with the darker colour of its outline.

const Paint kRed = Grad(0xF4604C, 0xC01E10, 0.1, 0.9);
constexpr uint32_t kRedLine = 0x7A1008;
const Paint kBlue = Grad(0x5AA8F0, 0x1A58BC, 0.05, 0.95);
constexpr uint32_t kBlueLine = 0x0E3878;
const Paint kGreen = Grad(0x6CD655, 0x1F8A26, 0.1, 0.9);
constexpr uint32_t kGreenLine = 0x0E5414;
const Paint kYellow = Grad(0xFFE65A, 0xF4B400, 0.1, 0.9);
constexpr uint32_t kYellowLine = 0x4A3800;
const Paint kPaper = Grad(0xFFFFFF, 0xDCE4EE, 0.1, 0.9);
constexpr uint32_t kPaperLine = 0x5E6876;
constexpr uint32_t kInk = 0x161616;
constexpr uint32_t kWhite = 0xFFFFFF;

// ---- Shared parts.

// Discs keep clear of the canvas edge by a little more than half a pixel, so that no
// lone edge pixel survives the toolbar's coverage threshold.
double DiscRadius(const Canvas& c) {
    return 0.5 - 0.7 * c.px;
}

void RedDiscCross(Canvas& c) {
    Outlined(c, Disc({0.5, 0.5}, DiscRadius(c)), kRed, kRedLine);
    double a = c.n <= 16 ? 0.19 : 0.18, w = c.n <= 16 ? 0.15 : 0.14;
    Fill(c,
         Union(Segment({0.5 - a, 0.5 - a}, {0.5 + a, 0.5 + a}, w),
               Segment({0.5 + a, 0.5 - a}, {0.5 - a, 0.5 + a}, w)),
         Solid(kWhite));
}

// A sheet of paper with its top right corner folded over.
void Page(Canvas& c, double x0, double y0, double x1, double y1, double fold) {
    x0 = c.Snap(x0), y0 = c.Snap(y0), x1 = c.Snap(x1), y1 = c.Snap(y1), fold = c.Snap(fold);
    Outlined(c, Poly({{x0, y0}, {x1 - fold, y0}, {x1, y0 + fold}, {x1, y1}, {x0, y1}}), kPaper, kPaperLine);
    Shape corner = Poly({{x1 - fold, y0}, {x1 - fold, y0 + fold}, {x1, y0 + fold}});
    Outlined(c, corner, Grad(0xF4F6F8, 0xC4CCD6, y0, y0 + fold), kPaperLine);
}

// Two arrows chasing each other around a circle.
Shape CirclingArrows(V c, double r, double width, double head, double gap = 0) {
    double end = 322 - gap, ahead = 38 + gap / 2;
    Shape s = Union(Arc(c, r, 205, end, width), Arc(c, r, 25, end - 180, width));
    s = Union(s, ArcHead(c, r, end, head, ahead));
    return Union(s, ArcHead(c, r, end - 180, head, ahead));
}

Shape Tick(double width) {
    return Polyline({{0.16, 0.52}, {0.40, 0.75}, {0.84, 0.25}}, width);
}

// ---- Pictures.

void ProgramIcon(Canvas& c) {
    Outlined(c, Box(0.5 * c.px, 0.5 * c.px, 1 - 0.5 * c.px, 1 - 0.5 * c.px, 0.2), kBlue, kBlueLine);
    if (c.n <= 16)
        Fill(c, CirclingArrows({0.5, 0.5}, 0.24, 0.14, 0.21, 14), Solid(kWhite));
    else
        Fill(c, CirclingArrows({0.5, 0.5}, 0.26, 0.12, 0.15), Solid(kWhite));
}

void StateNone(Canvas&) {}

void StateWorking(Canvas& c) {
    Shape diamond = Grow(Poly({{0.5, 0.08}, {0.92, 0.5}, {0.5, 0.92}, {0.08, 0.5}}), 0.05);
    Outlined(c, diamond, kYellow, kYellowLine, c.n <= 16 ? 1 : 1.5);
    if (c.n <= 16) {
        // Drawn pixel by pixel: at this size smooth strokes merge into a blob.
        Pixels(c, 3,
               {"......##........", "......##........", "................", ".....###........",
                ".....####.......", ".....##.##......", "....###..#......", "....#..#..##....",
                ".......#.##....."},
               kInk);
        return;
    }
    // A man leaning into his shovel, the blade in a heap of earth at his feet.
    Paint ink = Solid(kInk);
    Fill(c, Disc({0.555, 0.285}, 0.075), ink);
    Fill(c, Segment({0.50, 0.425}, {0.41, 0.58}, 0.13), ink);
    Fill(c, Polyline({{0.41, 0.58}, {0.33, 0.76}}, 0.09), ink);
    Fill(c, Polyline({{0.42, 0.60}, {0.50, 0.66}, {0.50, 0.77}}, 0.09), ink);
    Fill(c, Segment({0.50, 0.43}, {0.62, 0.53}, 0.075), ink);
    Fill(c, Segment({0.55, 0.45}, {0.70, 0.67}, 0.05), ink);
    Fill(c, Poly({{0.65, 0.67}, {0.74, 0.61}, {0.80, 0.72}, {0.72, 0.77}}), ink);
    Fill(c, Inter(Disc({0.71, 0.88}, 0.13), Grow(diamond, -2.5 * c.px)), ink);
}

void StateError(Canvas& c) {
    RedDiscCross(c);
}

void StateDone(Canvas& c) {
    Outlined(c, Tick(c.n <= 16 ? 0.25 : 0.2), kGreen, kGreenLine, c.n <= 16 ? 1 : 1.5);
}

void StateAttention(Canvas& c) {
    Shape triangle = Grow(Poly({{0.5, 0.13}, {0.89, 0.83}, {0.11, 0.83}}), 0.06);
    Outlined(c, triangle, kYellow, kYellowLine, c.n <= 16 ? 1 : 1.5);
    Paint ink = Solid(kInk);
    if (c.n <= 16) {
        // Pixel-exact: two columns wide, centred on the apex.
        Fill(c, Box(7 / 16.0, 5 / 16.0, 9 / 16.0, 10 / 16.0), ink);
        Fill(c, Box(7 / 16.0, 11 / 16.0, 9 / 16.0, 13 / 16.0), ink);
        return;
    }
    Fill(c, Grow(Poly({{0.455, 0.35}, {0.545, 0.35}, {0.52, 0.62}, {0.48, 0.62}}), 0.015), ink);
    Fill(c, Disc({0.5, 0.73}, 0.06), ink);
}

void ToolStop(Canvas& c) {
    RedDiscCross(c);
}

void ToolRefresh(Canvas& c) {
    Page(c, 0.06, 0.02, 0.66, 0.82, 0.21);
    Outlined(c, CirclingArrows({0.64, 0.64}, 0.225, 0.16, 0.19, 10), kGreen, kGreenLine);
}

void ToolSearch(Canvas& c) {
    double x0 = c.Snap(0.04), x1 = c.Snap(0.80), y0 = c.Snap(0.08), y1 = c.Snap(0.62);
    Outlined(c, Box(x0, y0, x1, y1, 0.06), Grad(0xF0F2F4, 0xB4BAC4, y0, y1), 0x3C424C);
    Outlined(c, Box(x0 + 2 * c.hair, y0 + 2 * c.hair, x1 - 2 * c.hair, y1 - 2 * c.hair),
             Grad(0x70B8F8, 0x1E58B4, y0, y1), 0x2A3A58);
    Outlined(c, Box(c.Snap(0.34), y1 - c.hair, c.Snap(0.50), c.Snap(0.76)),
             Grad(0xC8CCD2, 0x8C929C, y1, 0.76), 0x3C424C);
    Outlined(c, Box(c.Snap(0.16), c.Snap(0.72), c.Snap(0.68), c.Snap(0.84), 0.03),
             Grad(0xE0E4E8, 0x9CA2AC, 0.72, 0.84), 0x3C424C);
    V lens{0.66, 0.62};
    Fill(c, Segment({0.78, 0.76}, {0.92, 0.92}, 0.13), Solid(0x3A2A1C));
    Fill(c, Disc(lens, 0.21), Solid(0x2C323C));
    Fill(c, Disc(lens, 0.21 - 1.6 * c.hair), Grad(0xF0F8FF, 0xA8D4F4, 0.45, 0.8));
    Fill(c, Disc({0.62, 0.57}, 0.05), Solid(kWhite), 0.9);
}

void ToolDownload(Canvas& c) {
    Outlined(c, Box(c.Snap(0.04), c.Snap(0.04), c.Snap(0.96), c.Snap(0.96), 0.17), kGreen, kGreenLine);
    Paint white = Solid(kWhite);
    Fill(c, Polyline({{0.28, 0.24}, {0.5, 0.44}, {0.72, 0.24}}, 0.13), white);
    Fill(c, Polyline({{0.28, 0.50}, {0.5, 0.70}, {0.72, 0.50}}, 0.13), white);
}

void ToolPageTick(Canvas& c) {
    Page(c, 0.10, 0.04, 0.74, 0.92, 0.21);
    Outlined(c, Polyline({{0.30, 0.56}, {0.50, 0.76}, {0.90, 0.28}}, 0.19), kRed, kRedLine);
}

void ToolRun(Canvas& c) {
    double x0 = c.Snap(0.30), x1 = c.Snap(0.96), y0 = c.Snap(0.14), y1 = c.Snap(0.88), t = c.Snap(0.34);
    Fill(c, Box(x0, y0, x1, y1), Solid(0x1C3A70));
    Fill(c, Box(x0 + c.hair, y0 + c.hair, x1 - c.hair, t), Grad(0x6AAEF4, 0x2462C4, y0, t));
    Fill(c, Box(x0 + c.hair, t, x1 - c.hair, y1 - c.hair), Grad(0xFFFFFF, 0xD8E0EA, t, y1));
    Fill(c, Box(x1 - 4 * c.hair, y0 + 2 * c.hair, x1 - 2 * c.hair, t - 2 * c.hair), Solid(kWhite));
    Paint motion = Solid(0x3C6CB4);
    Fill(c, Box(c.Snap(0.08), c.Snap(0.34), c.Snap(0.24), c.Snap(0.42)), motion);
    Fill(c, Box(c.Snap(0.00), c.Snap(0.50), c.Snap(0.24), c.Snap(0.58)), motion);
    Fill(c, Box(c.Snap(0.08), c.Snap(0.67), c.Snap(0.24), c.Snap(0.75)), motion);
}

void ToolHome(Canvas& c) {
    Outlined(c, Box(0, c.Snap(0.80), 1, c.Snap(0.92)), Grad(0x9AA2AE, 0x5A626E, 0.80, 0.92), 0x2C323C);
    Outlined(c, Box(c.Snap(0.34), c.Snap(0.68), c.Snap(0.66), c.Snap(1.0)),
             Grad(0xD8DCE2, 0x8A929E, 0.68, 1.0), 0x2C323C);
    Fill(c, Box(c.Snap(0.42), c.Snap(0.88), c.Snap(0.46), c.Snap(0.96)), Solid(0xD8A020));
    Fill(c, Box(c.Snap(0.54), c.Snap(0.88), c.Snap(0.58), c.Snap(0.96)), Solid(0xD8A020));
    double wy0 = c.Snap(0.38), wy1 = c.Snap(0.71);
    Outlined(c, Box(c.Snap(0.20), wy0, c.Snap(0.80), wy1), Grad(0xFFF8E4, 0xE2D2AC, wy0, wy1), 0x5A4420);
    Fill(c, Box(c.Snap(0.42), c.Snap(0.50), c.Snap(0.58), wy1), Solid(0x6A4422));
    Outlined(c, Grow(Poly({{0.5, 0.10}, {0.90, 0.42}, {0.10, 0.42}}), 0.03), kRed, kRedLine);
}

void ToolSettings(Canvas& c) {
    double x0 = c.Snap(0.04), x1 = c.Snap(0.68), y0 = c.Snap(0.04), y1 = c.Snap(0.96);
    Outlined(c, Box(x0, y0, x1, y1), kPaper, kPaperLine);
    Paint line = Solid(0x8894A4);
    for (double y : {0.42, 0.58, 0.74})
        Fill(c, Box(x0 + 3 * c.hair, c.Snap(y), x1 - 3 * c.hair, c.Snap(y) + c.hair), line);
    Outlined(c, Polyline({{0.15, 0.24}, {0.27, 0.35}, {0.52, 0.12}}, 0.15), kGreen, kGreenLine);
    // The pen lies diagonally, its point at the lower left.
    V top{0.95, 0.36}, tip{0.48, 0.90};
    V d = Unit(tip - top), nrm{-d.y, d.x};
    double half = 0.085;
    V body = tip - d * 0.17;
    Outlined(c, Poly({top + nrm * half, body + nrm * half, body - nrm * half, top - nrm * half}),
             Grad(0xFFD04A, 0xD88A00, 0.3, 0.9), 0x5A3A00);
    Outlined(c, Poly({body + nrm * half, tip, body - nrm * half}), Solid(0xF2D2A0), 0x5A3A00);
    Fill(c, Poly({tip - d * 0.07 + nrm * 0.035, tip, tip - d * 0.07 - nrm * 0.035}), Solid(kInk));
}

void ToolRemove(Canvas& c) {
    Shape x = Union(Segment({0.20, 0.20}, {0.80, 0.80}, 0.25), Segment({0.80, 0.20}, {0.20, 0.80}, 0.25));
    Outlined(c, x, kRed, kRedLine);
}

void ToolInfo(Canvas& c) {
    Outlined(c, Disc({0.5, 0.5}, DiscRadius(c)), kBlue, kBlueLine);
    Paint white = Solid(kWhite);
    Fill(c, Arc({0.5, 0.38}, 0.14, 170, 450, 0.13), white);
    Fill(c, Segment({0.5, 0.52}, {0.5, 0.60}, 0.13), white);
    Fill(c, Disc({0.5, 0.75}, 0.075), white);
}

// ---- Output.

using Bytes = std::string;

void Put16(Bytes& b, unsigned v) {
    b += char(v & 255);
    b += char((v >> 8) & 255);
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

int Byte(double v) {
    return int(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
}

struct Straight {
    int r, g, b, a;
};
Straight Unpremultiply(const Pixel& p) {
    int a = Byte(p.a);
    if (a == 0) return {0, 0, 0, 0};
    return {Byte(p.r / p.a), Byte(p.g / p.a), Byte(p.b / p.a), a};
}

void PutInfoHeader(Bytes& b, int width, int height, int bits, uint32_t imageSize, uint32_t colours) {
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));
    Put16(b, 1);
    Put16(b, unsigned(bits));
    Put32(b, 0);
    Put32(b, imageSize);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, colours);
    Put32(b, 0);
}

using Picture = void (*)(Canvas&);

// One icon file: 32-bit images with alpha, each with the AND mask older systems use.
Bytes Icon(Picture draw, const std::vector<int>& sizes) {
    std::vector<Bytes> images;
    for (int n : sizes) {
        Canvas c(n);
        draw(c);
        int maskStride = ((n + 31) / 32) * 4;
        Bytes img, mask(size_t(maskStride) * n, '\0');
        PutInfoHeader(img, n, 2 * n, 32, uint32_t(n * n * 4 + maskStride * n), 0);
        for (int y = n - 1; y >= 0; y--) {
            for (int x = 0; x < n; x++) {
                Straight s = Unpremultiply(c.pixels[size_t(y) * n + x]);
                img += char(s.b);
                img += char(s.g);
                img += char(s.r);
                img += char(s.a);
                if (s.a == 0) mask[size_t(n - 1 - y) * maskStride + x / 8] |= char(0x80 >> (x % 8));
            }
        }
        images.push_back(img + mask);
    }
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, unsigned(sizes.size()));
    uint32_t offset = uint32_t(6 + 16 * sizes.size());
    for (size_t i = 0; i < sizes.size(); i++) {
        out += char(sizes[i]);
        out += char(sizes[i]);
        out += char(0);
        out += char(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, uint32_t(images[i].size()));
        Put32(out, offset);
        offset += uint32_t(images[i].size());
    }
    for (const Bytes& img : images)
        out += img;
    return out;
}

constexpr uint32_t kKey = 0xC0C0C0;
const Picture kTools[] = {ToolStop, ToolRefresh, ToolSearch,   ToolDownload, ToolPageTick,
                          ToolRun,  ToolHome,    ToolSettings, ToolRemove,   ToolInfo};

// The hot strip: the same colours, more saturated and a little lighter.
Straight Vivid(Straight s) {
    int grey = (s.r + s.g + s.b) / 3;
    auto f = [grey](int v) {
        int sat = grey + (v - grey) * 3 / 2;
        sat = std::clamp(sat, 0, 255);
        return sat + (255 - sat) / 6;
    };
    return {f(s.r), f(s.g), f(s.b), s.a};
}

// One toolbar strip: 8-bit with an adaptive palette whose entry 0, light grey, is the
// transparent key. There is no alpha, so thin coverage becomes background and the rest
// is blended towards a neutral grey that sits well on light button faces.
Bytes Strip(int cell, bool hot) {
    int width = cell * int(sizeof kTools / sizeof kTools[0]);
    std::vector<uint32_t> rgb(size_t(width) * cell, kKey);
    for (size_t i = 0; i < sizeof kTools / sizeof kTools[0]; i++) {
        Canvas c(cell);
        kTools[i](c);
        for (int y = 0; y < cell; y++) {
            for (int x = 0; x < cell; x++) {
                Straight s = Unpremultiply(c.pixels[size_t(y) * cell + x]);
                if (s.a < 128) continue;
                if (hot) s = Vivid(s);
                auto blend = [&s](int v) { return (v * s.a + 0xB4 * (255 - s.a) + 127) / 255; };
                uint32_t v = uint32_t(blend(s.r) << 16 | blend(s.g) << 8 | blend(s.b));
                rgb[size_t(y) * width + i * cell + x] = v == kKey ? 0xBFBFBF : v;
            }
        }
    }
    // Fewer bits per channel until the colours fit; each entry is its bucket's mean.
    struct Sum {
        uint64_t r = 0, g = 0, b = 0, n = 0;
    };
    std::map<uint32_t, Sum> buckets;
    int shift = 0;
    for (;; shift++) {
        buckets.clear();
        for (uint32_t v : rgb) {
            if (v == kKey) continue;
            uint32_t r = v >> 16, g = (v >> 8) & 255, b = v & 255;
            Sum& s = buckets[(r >> shift) << 16 | (g >> shift) << 8 | (b >> shift)];
            s.r += r, s.g += g, s.b += b, s.n++;
        }
        if (buckets.size() <= 255) break;
    }
    std::vector<uint32_t> palette(256, 0);
    palette[0] = kKey;
    std::map<uint32_t, int> index;
    int next = 1;
    for (auto& [key, s] : buckets) {
        uint32_t v =
            uint32_t((s.r + s.n / 2) / s.n << 16 | (s.g + s.n / 2) / s.n << 8 | (s.b + s.n / 2) / s.n);
        palette[size_t(next)] = v == kKey ? 0xBFBFBF : v;
        index[key] = next++;
    }
    Bytes out;
    uint32_t headers = 14 + 40 + 256 * 4, imageSize = uint32_t(width * cell);
    out += "BM";
    Put32(out, headers + imageSize);
    Put32(out, 0);
    Put32(out, headers);
    PutInfoHeader(out, width, cell, 8, imageSize, 256);
    for (uint32_t v : palette)
        Put32(out, v);
    for (int y = cell - 1; y >= 0; y--) {
        for (int x = 0; x < width; x++) {
            uint32_t v = rgb[size_t(y) * width + x];
            if (v == kKey) {
                out += char(0);
                continue;
            }
            uint32_t r = v >> 16, g = (v >> 8) & 255, b = v & 255;
            out += char(index[(r >> shift) << 16 | (g >> shift) << 8 | (b >> shift)]);
        }
    }
    return out;
}

bool Save(const std::string& path, const Bytes& data) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

} // namespace

int WriteArtwork(const char* folder) {
    std::string base = std::string(folder) + "/";
    // The sizes at 100, 125, 150 and 200 % display scale; the program's icon also at the
    // sizes of the large icon.
    const std::vector<int> state = {16, 20, 24, 32};
    int failed = 0;
    failed += !Save(base + "program.ico", Icon(ProgramIcon, {16, 20, 24, 32, 48, 64}));
    failed += !Save(base + "state70.ico", Icon(StateNone, state));
    failed += !Save(base + "state71.ico", Icon(StateWorking, state));
    failed += !Save(base + "state72.ico", Icon(StateError, state));
    failed += !Save(base + "state73.ico", Icon(StateDone, state));
    failed += !Save(base + "state74.ico", Icon(StateAttention, state));
    failed += !Save(base + "toolbar.bmp", Strip(24, false));
    failed += !Save(base + "toolbar_hot.bmp", Strip(24, true));
    for (int cell : {30, 36, 48}) {
        std::string name = base + "toolbar" + std::to_string(cell);
        failed += !Save(name + ".bmp", Strip(cell, false));
        failed += !Save(name + "_hot.bmp", Strip(cell, true));
    }
    return failed;
}
