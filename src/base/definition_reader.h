// The install definition reader: builds a component tree from the definition text.
//
// The text is a tree of object blocks; the outermost is the root (the main window) and every
// other object is created with the root as its owner, in file order. A block inside another
// block names the outer object as its parent component (a label on a band); ownership stays
// with the root. The grammar (keywords, names and values ignore case; blanks and line breaks
// separate tokens; "//" starts a comment that runs to the end of the line):
//
//   definition = object end-of-input
//   object     = "object" [ name ":" ] class { property } { object } "end"
//   property   = name { "." name } "=" value        (dotted: a property of a settings object)
//   value      = integer | string | identifier | set | list | binary
//   integer    = [ "-" | "+" ] ( digits | "$" hexdigits )
//   string     = piece { piece } { "+" piece { piece } }
//   piece      = "'" { character | "''" } "'" | "#" ( digits | "$" hexdigits )
//   set        = "[" [ identifier { "," identifier } ] "]"
//   list       = "(" { string } ")"
//   binary     = "{" { hexdigit hexdigit | blank } "}"
//
// A quoted piece holds any bytes but a line break (the text is UTF-8); "#n" is the character n
// (below 128 a byte, above it written in UTF-8). What a value means depends on the property:
// True/False for Booleans, an enumerator name for enumerations, a component name (or nil) for
// references, a registered handler name (or nil) for events, an integer or one of the
// property's named constants for integers.
//
// Loading: the root and every created component are Loading while their properties are
// assigned, so setters only store. References are resolved after all objects exist; then
// Loaded() runs on each component in creation order, the root first. A failure anywhere
// destroys what the reader created (also what their constructors created) and propagates:
// faults of the text raise EDefinitionError naming file, line, column and what was expected.
// Failures of the components keep their class. Those raised while a value is assigned (a setter,
// a reference being resolved) get the place appended to their message ("Circular reference
// (product.tmby, line 12, column 5)"); those of constructors and Loaded() keep their exact
// message, which is what the user is shown; misuse of the component model (EComponentError,
// EPropertyError, EConvertError) always gets the place. EAbort passes unchanged.
//
// Bounds: the text, each value, the nesting and the number of objects are limited (below); a
// definition beyond them is refused with EDefinitionError.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/component.h"
#include "base/exceptions.h"

namespace tmby {

constexpr size_t kMaxDefinitionSize = 64u << 20;   // bytes of text
constexpr size_t kMaxDefinitionValue = 16u << 20;  // bytes of one string, list or picture
constexpr int kMaxDefinitionNesting = 64;          // object blocks inside each other
constexpr int kMaxDefinitionObjects = 10000;       // object blocks in all
constexpr int kMaxDefinitionPath = 8;              // names in a dotted property name
constexpr size_t kMaxDefinitionName = 255;         // characters of a name

// A fault of the definition text.
class EDefinitionError : public Exception {
 public:
  EDefinitionError(std::string fileName, int line, int column, std::string problem);
  const char* ClassName() const override { return "EDefinitionError"; }
  const std::string& FileName() const { return fileName_; }
  int Line() const { return line_; }
  int Column() const { return column_; }
  // The message without the place.
  const std::string& Problem() const { return problem_; }

 private:
  std::string fileName_;
  int line_;
  int column_;
  std::string problem_;
};

struct TDefinitionOptions {
  // The classes the text may name; null: ClassRegistry().
  const TClassRegistry* Classes = nullptr;
  // The handlers events may name; null: EventHandlers().
  const TEventHandlers* Handlers = nullptr;
  // Read for a design tool: the root and everything it owns are in design mode.
  bool Designing = false;
  // Keep handler names that no code was registered for (design tools without the program's
  // handlers); otherwise such a name is an error.
  bool KeepUnknownHandlers = false;
};

// Reads a definition and creates its root from the root's class (without owner).
TOwned<TComponent> ReadDefinition(std::string_view text, const std::string& fileName,
                                  const TDefinitionOptions& options = {});

// Reads a definition into an existing root (a main window reading its own definition); the
// root object's class in the text must be the root's class. The root keeps the components it
// had; on failure it loses only what the reader created.
void ReadDefinitionInto(TComponent& root, std::string_view text, const std::string& fileName,
                        const TDefinitionOptions& options = {});

}  // namespace tmby
