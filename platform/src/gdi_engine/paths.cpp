// Path objects: figures of lines and Beziers in 28.4 device coordinates,
// handed to a driver record by record. A figure longer than the batch limit
// comes in several records: only the first begins the subpath (and carries
// the start point), only the last ends and closes it, and a Bezier record
// always holds whole curves.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "gdi_engine/engine_internal.h"
#include "win/errors.h"

namespace morva::platform::engine {

namespace {

constexpr std::uint32_t kPathMagic = 0x50415448;  // "PATH"
// The engine's own record size when no limit was set.
constexpr ULONG kDefaultBatch = 64;

struct Record {
  FLONG flags;
  std::vector<POINTFIX> points;
};

struct PathObject {
  PATHOBJ head{};
  std::uint32_t magic = kPathMagic;
  std::vector<PathFigure> figures;
  bool open = false;  // the last figure takes more segments
  bool ellipse = false;
  ULONG batch = kDefaultBatch;
  std::vector<Record> records;
  size_t next = 0;
};

PathObject* path_of(PATHOBJ* ppo) {
  auto* object = reinterpret_cast<PathObject*>(ppo);
  return object && object->magic == kPathMagic ? object : nullptr;
}

void update_head(PathObject* path) {
  FLONG fl = path->ellipse ? PO_ELLIPSE : 0;
  ULONG curves = 0;
  bool integers = true;
  for (const PathFigure& figure : path->figures) {
    for (size_t i = 0; i < figure.bezier.size(); ++i) {
      if (figure.bezier[i]) {
        fl |= PO_BEZIERS;
        if (i % 3 == 0) ++curves;
      } else {
        ++curves;
      }
    }
    for (const POINTFIX& p : figure.points) integers = integers && (p.x & 0xF) == 0 && (p.y & 0xF) == 0;
  }
  if (integers) fl |= PO_ALL_INTEGERS;
  path->head.fl = fl;
  path->head.cCurves = curves;
}

// The figure that new segments join: the open one, or a new one starting
// where the last closed figure started (GDI's current position after a
// close), or at the origin.
PathFigure* current_figure(PathObject* path) {
  if (path->open) return &path->figures.back();
  POINTFIX start{0, 0};
  if (!path->figures.empty()) start = path->figures.back().points.front();
  path->figures.push_back({{start}, {}, false});
  path->open = true;
  return &path->figures.back();
}

void build_records(PathObject* path) {
  path->records.clear();
  const size_t limit = std::max<ULONG>(path->batch, 3);
  for (const PathFigure& figure : path->figures) {
    const size_t first_record = path->records.size();
    size_t i = 0;  // segment points consumed
    const size_t n = figure.bezier.size();
    if (n == 0) path->records.push_back({PD_BEGINSUBPATH | PD_RESETSTYLE, {figure.points[0]}});
    while (i < n) {
      const bool bezier = figure.bezier[i];
      size_t run = i;
      while (run < n && figure.bezier[run] == bezier) ++run;
      while (i < run) {
        size_t take = std::min(limit, run - i);
        if (bezier) take = std::max<size_t>(3, take - take % 3);
        Record record{bezier ? PD_BEZIERS : 0, {}};
        if (path->records.size() == first_record) {
          record.flags |= PD_BEGINSUBPATH | PD_RESETSTYLE;
          record.points.push_back(figure.points[0]);
        }
        record.points.insert(record.points.end(), figure.points.begin() + 1 + i, figure.points.begin() + 1 + i + take);
        path->records.push_back(std::move(record));
        i += take;
      }
    }
    path->records.back().flags |= PD_ENDSUBPATH | (figure.closed ? PD_CLOSEFIGURE : 0);
  }
  path->next = 0;
}

}  // namespace

void set_path_batch_limit(PATHOBJ* ppo, ULONG points) {
  if (PathObject* path = path_of(ppo)) path->batch = points ? points : kDefaultBatch;
}

void mark_path_ellipse(PATHOBJ* ppo) {
  if (PathObject* path = path_of(ppo)) {
    path->ellipse = true;
    update_head(path);
  }
}

std::vector<PathFigure> path_figures(PATHOBJ* ppo) {
  PathObject* path = path_of(ppo);
  return path ? path->figures : std::vector<PathFigure>{};
}

}  // namespace morva::platform::engine

using namespace morva::platform;
using namespace morva::platform::engine;

extern "C" PATHOBJ* EngCreatePath() { return &(new PathObject)->head; }

extern "C" void EngDeletePath(PATHOBJ* ppo) { delete path_of(ppo); }

extern "C" BOOL PATHOBJ_bMoveTo(PATHOBJ* ppo, POINTFIX ptfx) {
  PathObject* path = path_of(ppo);
  if (!path) return FALSE;
  // A figure that is only a start point gives way to the new one.
  if (path->open && path->figures.back().bezier.empty()) path->figures.pop_back();
  path->figures.push_back({{ptfx}, {}, false});
  path->open = true;
  update_head(path);
  return TRUE;
}

extern "C" BOOL PATHOBJ_bPolyLineTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
  PathObject* path = path_of(ppo);
  if (!path || (!pptfx && cptfx)) return FALSE;
  if (!cptfx) return TRUE;
  PathFigure* figure = current_figure(path);
  figure->points.insert(figure->points.end(), pptfx, pptfx + cptfx);
  figure->bezier.insert(figure->bezier.end(), cptfx, false);
  update_head(path);
  return TRUE;
}

extern "C" BOOL PATHOBJ_bPolyBezierTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx) {
  PathObject* path = path_of(ppo);
  if (!path || (!pptfx && cptfx) || cptfx % 3 != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!cptfx) return TRUE;
  PathFigure* figure = current_figure(path);
  figure->points.insert(figure->points.end(), pptfx, pptfx + cptfx);
  figure->bezier.insert(figure->bezier.end(), cptfx, true);
  update_head(path);
  return TRUE;
}

extern "C" BOOL PATHOBJ_bCloseFigure(PATHOBJ* ppo) {
  PathObject* path = path_of(ppo);
  if (!path) return FALSE;
  if (path->open) {
    path->figures.back().closed = true;
    path->open = false;
  }
  return TRUE;
}

extern "C" void PATHOBJ_vEnumStart(PATHOBJ* ppo) {
  if (PathObject* path = path_of(ppo)) build_records(path);
}

extern "C" BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd) {
  PathObject* path = path_of(ppo);
  if (!path || !ppd) return FALSE;
  if (path->records.empty() && path->next == 0) build_records(path);
  if (path->next >= path->records.size()) {
    *ppd = {0, 0, nullptr};
    return FALSE;
  }
  Record& record = path->records[path->next++];
  ppd->flags = record.flags;
  ppd->count = static_cast<ULONG>(record.points.size());
  ppd->pptfx = record.points.data();
  return path->next < path->records.size() ? TRUE : FALSE;
}

extern "C" void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx) {
  PathObject* path = path_of(ppo);
  if (!prectfx) return;
  *prectfx = {0, 0, 0, 0};
  bool first = true;
  for (const PathFigure& figure : path ? path->figures : std::vector<PathFigure>{}) {
    for (const POINTFIX& p : figure.points) {
      if (first) {
        *prectfx = {p.x, p.y, p.x, p.y};
        first = false;
      }
      prectfx->xLeft = std::min(prectfx->xLeft, p.x);
      prectfx->yTop = std::min(prectfx->yTop, p.y);
      prectfx->xRight = std::max(prectfx->xRight, p.x);
      prectfx->yBottom = std::max(prectfx->yBottom, p.y);
    }
  }
}
