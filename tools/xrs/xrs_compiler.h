// The resource compiler: turns resource sources (JSON) into a resource
// container (win/resource_container.h).
//
// A source file is one JSON object; every member is optional:
//   "language": default LANGID of the file's resources (0x0409 if absent)
//   "strings":  [{"language": L, "table": {"<id>": "text", ...}}]
//   "dialogs":  [{"id": N|"NAME", "language": L, "style": S, "ex_style": S,
//                 "x","y","cx","cy", "caption": "...", "class": "...",
//                 "font": {"size": 8, "face": "MS Shell Dlg"},
//                 "controls": [{"id": N, "class": "BUTTON"|"EDIT"|...,
//                               "text": "..." | N, "style": S, "ex_style": S,
//                               "x","y","cx","cy"}]}]
//   "bitmaps":  [{"id": N|"NAME", "file": "x.bmp", "language": L}]
//   "icons":    [{"id": N|"NAME", "file": "x.ico", "language": L}]
//   "raw":      [{"type": N|"NAME", "id": N|"NAME", "language": L,
//                 "file": "x.bin" | "hex": "00 01 .." | "text": "UTF-8"}]
// Numbers may be JSON numbers or strings ("0x409"); a style is a number or
// names and numbers joined by "|" ("WS_CHILD | WS_VISIBLE | 0x20").
// Files are relative to the source that names them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morva::xrs {

struct CompileResult {
  std::vector<std::uint8_t> container;  // empty on failure
  std::vector<std::string> inputs;      // every file read, for build dependencies
  std::string error;                    // "file: message" on failure
};

// Compiles the sources (paths) into one container. Resources must be
// unique by type, name and language across all sources.
CompileResult compile_resources(const std::vector<std::string>& sources);

// The same over source text, files resolved against `base_dir`.
CompileResult compile_resource_text(const std::string& json, const std::string& base_dir);

}  // namespace morva::xrs
