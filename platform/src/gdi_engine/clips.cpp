// Clip objects: the visible area of a drawing as disjoint rectangles
// (bands from top to bottom), enumerated in the direction a driver asks for
// and handed out as a path of rectangles.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

constexpr std::uint32_t kClipMagic = 0x434C4950;  // "CLIP"

struct ClipObject {
  CLIPOBJ head{};
  std::uint32_t magic = kClipMagic;
  std::vector<RECTL> rects;  // disjoint, top to bottom, left to right
  std::vector<RECTL> order;  // of the enumeration under way
  size_t next = 0;
};

ClipObject* clip_of(CLIPOBJ* pco) {
  auto* object = reinterpret_cast<ClipObject*>(pco);
  return object && object->magic == kClipMagic ? object : nullptr;
}

ULONG next_uniq() {
  static std::atomic<ULONG> counter{1};
  return counter++;
}

using Spans = std::vector<std::pair<LONG, LONG>>;  // [left, right) per band

void merge_spans(Spans* spans) {
  std::sort(spans->begin(), spans->end());
  Spans out;
  for (const auto& s : *spans) {
    if (s.first >= s.second) continue;
    if (!out.empty() && s.first <= out.back().second) out.back().second = std::max(out.back().second, s.second);
    else out.push_back(s);
  }
  *spans = std::move(out);
}

// Appends one band [top, bottom), joining it to the band above when that
// has the same spans and touches it.
void add_band(std::vector<RECTL>* rects, Spans* last_spans, LONG* last_bottom, size_t* last_start, LONG top,
              LONG bottom, const Spans& spans) {
  if (spans.empty()) {
    last_spans->clear();
    return;
  }
  if (*last_bottom == top && *last_spans == spans) {
    for (size_t i = *last_start; i < rects->size(); ++i) (*rects)[i].bottom = bottom;
  } else {
    *last_start = rects->size();
    for (const auto& s : spans) rects->push_back({s.first, top, s.second, bottom});
    *last_spans = spans;
  }
  *last_bottom = bottom;
}

std::vector<RECTL> normalise(const std::vector<RECTL>& input) {
  std::vector<RECTL> in;
  for (const RECTL& r : input) {
    RECTL o{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
            std::max(r.top, r.bottom)};
    if (o.left < o.right && o.top < o.bottom) in.push_back(o);
  }
  std::vector<LONG> edges;
  for (const RECTL& r : in) {
    edges.push_back(r.top);
    edges.push_back(r.bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::vector<RECTL> out;
  Spans last;
  LONG last_bottom = 0;
  size_t last_start = 0;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    Spans spans;
    for (const RECTL& r : in)
      if (r.top <= edges[i] && r.bottom >= edges[i + 1]) spans.emplace_back(r.left, r.right);
    merge_spans(&spans);
    add_band(&out, &last, &last_bottom, &last_start, edges[i], edges[i + 1], spans);
  }
  return out;
}

CLIPOBJ* make_clip(std::vector<RECTL> rects) {
  auto* clip = new ClipObject;
  clip->rects = std::move(rects);
  clip->head.iUniq = next_uniq();
  clip->head.iMode = TC_RECTANGLES;
  if (clip->rects.empty()) {
    clip->head.iDComplexity = DC_RECT;
    clip->head.iFComplexity = FC_RECT;
    return &clip->head;
  }
  RECTL bounds = clip->rects.front();
  for (const RECTL& r : clip->rects) {
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  clip->head.rclBounds = bounds;
  const size_t n = clip->rects.size();
  clip->head.iDComplexity = n == 1 ? DC_RECT : DC_COMPLEX;
  clip->head.iFComplexity = n == 1 ? FC_RECT : n <= 4 ? FC_RECT4 : FC_COMPLEX;
  return &clip->head;
}

struct Edge {
  double x0, y0, x1, y1;
};

void flatten_bezier(const POINTFIX& p0, const POINTFIX& c1, const POINTFIX& c2, const POINTFIX& p3,
                    std::vector<std::pair<double, double>>* out) {
  const double length = std::hypot(c1.x - p0.x, c1.y - p0.y) + std::hypot(c2.x - c1.x, c2.y - c1.y) +
                        std::hypot(p3.x - c2.x, p3.y - c2.y);
  const int steps = std::clamp(static_cast<int>(length / 16 / 2), 4, 256);  // about 2 pixels a step
  for (int i = 1; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps, u = 1 - t;
    const double x = u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x;
    const double y = u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y;
    out->emplace_back(x / 16, y / 16);
  }
}

}  // namespace

CLIPOBJ* create_clip_trivial(const RECTL& surface) {
  CLIPOBJ* clip = make_clip({surface});
  clip->iDComplexity = DC_TRIVIAL;
  return clip;
}

CLIPOBJ* create_clip_rects(const std::vector<RECTL>& rects) { return make_clip(normalise(rects)); }

CLIPOBJ* create_clip_path(PATHOBJ* path, bool winding) {
  // Every figure is closed for filling; Beziers are cut into short lines.
  std::vector<Edge> edges;
  double top = 0, bottom = 0;
  bool first = true;
  for (const PathFigure& figure : path_figures(path)) {
    std::vector<std::pair<double, double>> poly{{figure.points[0].x / 16.0, figure.points[0].y / 16.0}};
    for (size_t i = 0; i < figure.bezier.size();) {
      if (figure.bezier[i]) {
        flatten_bezier(figure.points[i], figure.points[i + 1], figure.points[i + 2], figure.points[i + 3], &poly);
        i += 3;
      } else {
        poly.emplace_back(figure.points[i + 1].x / 16.0, figure.points[i + 1].y / 16.0);
        ++i;
      }
    }
    for (size_t i = 0; i < poly.size(); ++i) {
      const auto& a = poly[i];
      const auto& b = poly[(i + 1) % poly.size()];
      edges.push_back({a.first, a.second, b.first, b.second});
      if (first) top = bottom = a.second;
      first = false;
      top = std::min({top, a.second, b.second});
      bottom = std::max({bottom, a.second, b.second});
    }
  }
  std::vector<RECTL> rects;
  Spans last;
  LONG last_bottom = 0;
  size_t last_start = 0;
  // Pixels whose centres lie inside, row by row.
  for (LONG y = static_cast<LONG>(std::floor(top)); y < static_cast<LONG>(std::ceil(bottom)); ++y) {
    const double yc = y + 0.5;
    std::vector<std::pair<double, int>> crossings;
    for (const Edge& e : edges) {
      if ((e.y0 <= yc && yc < e.y1) || (e.y1 <= yc && yc < e.y0)) {
        const double x = e.x0 + (yc - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
        crossings.emplace_back(x, e.y1 > e.y0 ? 1 : -1);
      }
    }
    std::sort(crossings.begin(), crossings.end());
    Spans spans;
    int count = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      count += winding ? crossings[i].second : 1;
      const bool inside = winding ? count != 0 : (count % 2) != 0;
      if (inside) {
        const LONG left = static_cast<LONG>(std::ceil(crossings[i].first - 0.5));
        const LONG right = static_cast<LONG>(std::ceil(crossings[i + 1].first - 0.5));
        spans.emplace_back(left, right);
      }
    }
    merge_spans(&spans);
    add_band(&rects, &last, &last_bottom, &last_start, y, y + 1, spans);
  }
  return make_clip(std::move(rects));
}

void delete_clip(CLIPOBJ* pco) { delete clip_of(pco); }

std::vector<RECTL> clip_rects(CLIPOBJ* pco) {
  ClipObject* clip = clip_of(pco);
  if (clip) return clip->rects;
  return pco ? std::vector<RECTL>{pco->rclBounds} : std::vector<RECTL>{};
}

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL, ULONG iType, ULONG iDirection, ULONG cLimit) {
  ClipObject* clip = clip_of(pco);
  if (!clip || iType != CT_RECTANGLES) return 0xFFFFFFFFu;
  clip->order = clip->rects;
  const bool up = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
  const bool left = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
  std::stable_sort(clip->order.begin(), clip->order.end(), [&](const RECTL& a, const RECTL& b) {
    if (a.top != b.top) return up ? a.top > b.top : a.top < b.top;
    return left ? a.left > b.left : a.left < b.left;
  });
  clip->next = 0;
  const ULONG n = static_cast<ULONG>(clip->order.size());
  return cLimit == 0 || n <= cLimit ? n : 0xFFFFFFFFu;
}

extern "C" BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul) {
  ClipObject* clip = clip_of(pco);
  if (!clip || !pul || cj < sizeof(ULONG) + sizeof(RECTL)) return FALSE;
  auto* out = reinterpret_cast<ENUMRECTS*>(pul);
  const size_t room = (cj - sizeof(ULONG)) / sizeof(RECTL);
  ULONG c = 0;
  while (c < room && clip->next < clip->order.size()) out->arcl[c++] = clip->order[clip->next++];
  out->c = c;
  return clip->next < clip->order.size() ? TRUE : FALSE;
}

extern "C" PATHOBJ* CLIPOBJ_ppoGetPath(CLIPOBJ* pco) {
  if (!pco) return nullptr;
  PATHOBJ* path = EngCreatePath();
  for (const RECTL& r : clip_rects(pco)) {
    PATHOBJ_bMoveTo(path, {r.left * 16, r.top * 16});
    POINTFIX corners[3] = {{r.right * 16, r.top * 16}, {r.right * 16, r.bottom * 16}, {r.left * 16, r.bottom * 16}};
    PATHOBJ_bPolyLineTo(path, corners, 3);
    PATHOBJ_bCloseFigure(path);
  }
  return path;
}
