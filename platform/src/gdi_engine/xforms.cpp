// Transform objects: a 2x2 matrix and an offset, points as row vectors
// (x' = x eM11 + y eM21 + eDx, y' = x eM12 + y eM22 + eDy).
#include <cmath>

#include "gdi_engine/engine_internal.h"

namespace morva::platform::engine {

namespace {

XformObject* xform_of(XFORMOBJ* pxo) {
  auto* object = reinterpret_cast<XformObject*>(pxo);
  return object && object->magic == kXformMagic ? object : nullptr;
}

bool invert(const XFORML& m, XFORML* out) {
  const double det = static_cast<double>(m.eM11) * m.eM22 - static_cast<double>(m.eM12) * m.eM21;
  if (det == 0) return false;
  out->eM11 = static_cast<FLOATL>(m.eM22 / det);
  out->eM12 = static_cast<FLOATL>(-m.eM12 / det);
  out->eM21 = static_cast<FLOATL>(-m.eM21 / det);
  out->eM22 = static_cast<FLOATL>(m.eM11 / det);
  out->eDx = static_cast<FLOATL>(-(m.eDx * static_cast<double>(out->eM11) + m.eDy * static_cast<double>(out->eM21)));
  out->eDy = static_cast<FLOATL>(-(m.eDx * static_cast<double>(out->eM12) + m.eDy * static_cast<double>(out->eM22)));
  return true;
}

void apply(const XFORML& m, double x, double y, double* ox, double* oy) {
  *ox = x * m.eM11 + y * m.eM21 + m.eDx;
  *oy = x * m.eM12 + y * m.eM22 + m.eDy;
}

}  // namespace

XFORMOBJ* create_xform(const XFORML& xform) {
  auto* object = new XformObject;
  object->m = xform;
  return &object->head;
}

void delete_xform(XFORMOBJ* pxo) { delete xform_of(pxo); }

}  // namespace morva::platform::engine

using namespace morva::platform::engine;

extern "C" ULONG XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform) {
  XformObject* object = xform_of(pxo);
  if (!object) return DDI_ERROR;
  const XFORML& m = object->m;
  if (pxform) *pxform = m;
  if (m.eM12 != 0 || m.eM21 != 0) return GX_GENERAL;
  if (m.eM11 != 1 || m.eM22 != 1) return GX_SCALE;
  return m.eDx != 0 || m.eDy != 0 ? GX_OFFSET : GX_IDENTITY;
}

extern "C" BOOL XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn, PVOID pvOut) {
  XformObject* object = xform_of(pxo);
  if (!object || !pvIn || !pvOut) return FALSE;
  XFORML m = object->m;
  if ((iMode == XF_INV_LTOL || iMode == XF_INV_FXTOL) && !invert(object->m, &m)) return FALSE;
  const auto* in = static_cast<const POINTL*>(pvIn);
  auto* out = static_cast<POINTL*>(pvOut);
  for (ULONG i = 0; i < cPoints; ++i) {
    double x = in[i].x, y = in[i].y, ox, oy;
    if (iMode == XF_INV_FXTOL) {
      x /= 16;
      y /= 16;
    }
    apply(m, x, y, &ox, &oy);
    if (iMode == XF_LTOFX) {
      ox *= 16;
      oy *= 16;
    } else if (iMode != XF_LTOL && iMode != XF_INV_LTOL && iMode != XF_INV_FXTOL) {
      return FALSE;
    }
    out[i].x = static_cast<LONG>(std::lround(ox));
    out[i].y = static_cast<LONG>(std::lround(oy));
  }
  return TRUE;
}
