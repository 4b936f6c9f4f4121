// Component streaming over text form files: the parsed form tree, the filer
// with its defined properties and ancestor, the reader and the writer.
//
// A form file holds one root object:
//
//   object DataModule1: TDataModule
//     Tag = 3
//     object Query1: TMyQuery
//       SQL.Strings = (
//         'select * from t')
//       Params.Data = {
//         01FFFF7F00000000}
//       Session = Session1
//     end
//   end
//
// `inherited` instead of `object` names a component that the ancestor form
// already created. The writer emits CRLF line ends; the reader takes CRLF,
// LF or CR.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "framework/classes/Classes.h"
#include "framework/classes/Streams.h"
#include "framework/rtl/SysUtils.h"
#include "framework/classes/TypInfo.h"

namespace ztl {

class TReader;
class TWriter;

inline constexpr const char* SParseError = "%s on line %d";
inline constexpr const char* SInvalidFormFile = "Invalid stream format";
inline constexpr const char* SIdentifierExpected = "Identifier expected";
inline constexpr const char* SStringExpected = "String expected";
inline constexpr const char* SNumberExpected = "Number expected";
inline constexpr const char* SCharExpected = "'%s' expected";
inline constexpr const char* SInvalidBinary = "Invalid binary value";
inline constexpr const char* SInvalidString = "Invalid string constant";
inline constexpr const char* SInvalidCharCode = "Character code %s cannot be stored";
inline constexpr const char* SNestingTooDeep = "Objects and lists nested too deeply";
inline constexpr const char* SInvalidPropertyPath = "Invalid property path";
inline constexpr const char* SAncestorNotFound = "Ancestor for '%s' not found";
inline constexpr const char* SUnresolvedReference = "Unresolved reference to %s";
inline constexpr const char* SCollectionNotSupported = "Collection values are not supported";
inline constexpr const char* SPropertyException = "Error reading %s%s%s: %s";
inline constexpr const char* SWritePropertyError = "Error writing %s.%s: %s";
inline constexpr const char* SNoReferenceName = "Cannot store a reference to an unnamed component";
inline constexpr const char* SFloatNotStorable = "Floating point value cannot be stored";

// Objects, lists and collections nest at most this deep in one form file;
// deeper input is rejected rather than risking the stack.
inline constexpr int MaxFormNesting = 200;

// A syntax error in form text; the message ends with " on line N".
class EParserError : public EReadError {
public:
  EParserError(const std::string& Msg, int ALine);
  int GetLine() const { return Line; }

private:
  int Line; // 1-based line of the offending token
};

// The kinds of value a property can hold in a form file.
enum TValueType : std::uint8_t {
  vaNull,      // Null
  vaList,      // ( v v ... )
  vaInteger,   // 12, -3, $FF
  vaExtended,  // 1.5, 2E10
  vaString,    // 'text'#13#10'more'
  vaIdent,     // an identifier: an enumeration value or a component reference
  vaFalse,     // False
  vaTrue,      // True
  vaBinary,    // { 0A1B }
  vaSet,       // [a, b]
  vaNil,       // nil
  vaCollection // < item ... end >
};

struct TFormProperty;

// One value of a form file. Which members are used depends on Type.
struct TFormValue {
  TValueType Type = vaNull;
  int Line = 0;                  // where the value starts
  std::int64_t Integer = 0;      // vaInteger
  double Float = 0;              // vaExtended
  std::string Text;              // vaString, vaIdent, vaBinary (the bytes)
  std::vector<TFormValue> Items; // vaList items; vaSet members (vaIdent)
  std::vector<std::vector<TFormProperty>> CollectionItems; // vaCollection
};

// One "Name = value" line; Name may be dotted (SQL.Strings).
struct TFormProperty {
  std::string Name;
  TFormValue Value;
  int Line = 0;
};

// One object of a form file with its properties and nested objects.
struct TFormObject {
  bool Inherited = false; // `inherited`: the ancestor created it
  bool Inline = false;    // `inline` (read like `object`)
  std::string Name;       // may be empty
  std::string ClassName;
  int ChildPos = -1;                     // the optional [n] after the class, else -1
  int Line = 0;                          // line of the header
  std::vector<TFormProperty> Properties; // in file order
  std::vector<TFormObject> Children;     // in file order
};

// Parses a whole form file. Raises EParserError (with the line number) for
// anything that is not the form syntax, for nesting deeper than
// MaxFormNesting and for numbers or character codes that cannot be held.
TFormObject ParseFormText(std::string_view Text);
// The text of a form tree in the writer's layout (two spaces per level, CRLF
// line ends, strings split into pieces of at most 64 characters, binary data
// in lines of 64 hex digits). Raises EWriteError for a float that is not
// finite.
std::string FormObjectToText(const TFormObject& Object);
// Writes one value as the writer does at the given nesting level (used for
// printing single values).
std::string FormValueToText(const TFormValue& Value, int Level = 0);

// Resolves the first part of a dotted component reference that is not a
// component of the form being read ("OtherModule" in OtherModule.Session1).
using TFindGlobalComponent = std::function<TComponent*(const std::string& Name)>;
int AddFindGlobalComponent(TFindGlobalComponent Proc); // returns a handle
void RemoveFindGlobalComponent(int Handle);
// Asks every registered procedure in turn; null when none knows the name.
TComponent* FindGlobalComponent(const std::string& Name);

// What reader and writer share: the root being streamed, the ancestor of the
// object whose properties are being streamed, and the registration of
// properties that are not published.
//
// An object's DefineProperties calls DefineProperty or DefineBinaryProperty
// for each of its own stored properties. A writer calls WriteData when
// HasData is true; a reader calls ReadData when the form holds the property.
class TFiler : public TObject {
public:
  using TReaderProc = std::function<void(TReader& Reader)>;
  using TWriterProc = std::function<void(TWriter& Writer)>;
  using TStreamProc = std::function<void(TStream& Stream)>;

  TComponent* GetRoot() const { return Root; }
  TComponent* GetLookupRoot() const { return LookupRoot; }
  // While writing a form that inherits from another: the counterpart of the
  // object being written in the ancestor form (null when it has none, and
  // always null while reading). A property equal to the ancestor's value
  // is not written.
  TPersistent* GetAncestor() const { return Ancestor; }
  void SetAncestor(TPersistent* Value) { Ancestor = Value; }
  // Set while writing: nested objects are not written.
  bool GetIgnoreChildren() const { return IgnoreChildren; }
  void SetIgnoreChildren(bool Value) { IgnoreChildren = Value; }

  // The property's value goes through the filer's value API (ReadInteger,
  // WriteString, ...).
  virtual void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                              const TWriterProc& WriteData, bool HasData) = 0;
  // The property's value is a block of bytes, handed over in a stream that
  // the callback reads or writes from its current position.
  virtual void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                                    const TStreamProc& WriteData, bool HasData) = 0;

protected:
  // DefineProperties is protected in TPersistent; filers may call it.
  static void CallDefineProperties(TPersistent& Instance, TFiler& Filer) {
    Instance.DefineProperties(&Filer);
  }
  // Every component stores its design position (DesignInfo) as the defined
  // properties Left and Top, before its own defined properties.
  static void DefineDesignInfo(TComponent& Component, TFiler& Filer);

  TComponent* Root = nullptr;       // the form's top object
  TComponent* LookupRoot = nullptr; // where component references are looked up
  TPersistent* Ancestor = nullptr;  // see GetAncestor
  bool IgnoreChildren = false;      // see GetIgnoreChildren
};

// Reads a form file into components.
//
// The text is parsed when the reader is made (EParserError for bad syntax).
// ReadRootComponent then builds the components: every object creates a
// component of its registered class (owned by the enclosing object's
// GetChildOwner, or the root), `inherited` objects find the component the
// ancestor made, and properties are set as they come. While this goes on
// every component involved is in the csLoading and csReading states.
// References to components (Session = Session1) are resolved only when the
// whole form (every layer) has been read. Then Loaded is called on every
// component once, in the order the components appear in the file: the root
// first, each container before what it holds.
//
// Errors are EReadError descendants whose message ends with " on line N".
// When reading fails, every component this reader created is destroyed
// again (the root too, when the reader created it); components that existed
// before keep whatever properties were already set.
class TReader : public TFiler {
public:
  // Parses the text from Stream's position to its end.
  explicit TReader(TStream& Stream);
  // Parses an inherited form's layers, the most distant ancestor first; all
  // of them are read into one root before references and Loaded run.
  explicit TReader(const std::vector<TStream*>& Layers);
  ~TReader() override;
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Reads the form into Root, or into a new component of the form's class
  // (owned by nobody) when Root is null. Returns the root.
  TComponent* ReadRootComponent(TComponent* ARoot);

  // The parsed layers.
  const std::vector<TFormObject>& GetForms() const { return Forms; }

  // ---- value API for DefineProperty callbacks --------------------------------
  // The next value's type (vaNull at the end of a list or of the value).
  TValueType NextValue() const;
  std::int64_t ReadInteger(); // vaInteger
  double ReadFloat();         // vaExtended or vaInteger
  std::string ReadString();   // vaString
  bool ReadBoolean();         // vaTrue or vaFalse
  std::string ReadIdent();    // vaIdent (also True, False, nil and Null by name)
  std::string ReadBinary();   // vaBinary, as bytes
  void ReadListBegin();       // enters a vaList
  bool EndOfList() const;     // no value left in the innermost list
  void ReadListEnd();         // leaves it (EReadError if values are left)
  // Skips one value of any kind.
  void SkipValue();
  // The line of the value being read (0 outside a property).
  int GetCurrentLine() const;

  void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                      const TWriterProc& WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                            const TStreamProc& WriteData, bool HasData) override;

private:
  struct TFixup;
  struct TCursor;
  class TTracker;

  void ReadLayer(const TFormObject& Form);
  void ReadObject(const TFormObject& Node, TComponent* Container);
  void ReadProperty(TPersistent& Instance, const TFormProperty& Prop, TComponent* Component);
  void ReadPropValue(TPersistent& Instance, const TPropInfo& Info, const TFormValue& Value,
                     TComponent* Component, const std::string& PathName);
  bool ReadDefinedProperty(TPersistent& Instance, const std::string& Name, const TFormValue& Value,
                           TComponent* Component, const std::string& PathName);
  void ResolveFixups();
  void CallLoaded();
  const TFormValue& TakeValue();
  [[noreturn]] void ValueError() const;
  // Marks the defined property being looked for as found when Name is its
  // name; answers whether its reader must then run.
  bool ClaimProperty(const std::string& Name, bool CanRead);

  std::vector<TFormObject> Forms;        // the parsed layers, ancestors first
  std::unique_ptr<TTracker> Tracker;     // created components, loaded list, fixup targets
  std::vector<TFixup> Fixups;            // references waiting for the whole form
  std::vector<TCursor> Cursors;          // value API position: innermost list last
  std::string PropName;                  // defined property being looked for
  const TFormValue* PropValue = nullptr; // its value
  bool PropFound = false;                // a DefineProperty call took it
  int PropLine = 0;                      // line of the property being read
};

// Writes components as a form file.
//
// WriteRootComponent writes Root with its published properties (those not
// equal to their default), its defined properties, and every component its
// GetChildren lists, nested. WriteDescendent writes only what differs from
// Ancestor, a form of the class Root inherits from: components that exist in
// the ancestor (matched by name) are written as `inherited` with only their
// changed properties. The text goes to the stream when writing is done.
class TWriter : public TFiler {
public:
  explicit TWriter(TStream& Stream);
  ~TWriter() override;
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  void WriteRootComponent(TComponent* ARoot);
  void WriteDescendent(TComponent* ARoot, TComponent* AAncestor);
  // The tree of the last form written.
  const TFormObject& GetForm() const { return Form; }

  // ---- value API for DefineProperty callbacks --------------------------------
  void WriteInteger(std::int64_t Value);
  void WriteFloat(double Value);
  void WriteString(std::string_view Value);
  void WriteBoolean(bool Value);
  void WriteIdent(std::string_view Value);
  void WriteBinary(std::string_view Bytes);
  void WriteListBegin();
  void WriteListEnd();

  void DefineProperty(const std::string& Name, const TReaderProc& ReadData,
                      const TWriterProc& WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, const TStreamProc& ReadData,
                            const TStreamProc& WriteData, bool HasData) override;

private:
  void WriteComponent(TFormObject& Node, TComponent* Component, TComponent* AncestorComponent);
  void WriteProperties(TFormObject& Node, TPersistent& Instance, TPersistent* AncestorInstance,
                       const std::string& Prefix);
  void WriteDefinedProperties(TFormObject& Node, TPersistent& Instance,
                              TPersistent* AncestorInstance, const std::string& Prefix);
  // The name a reference to Component is written as, relative to ARoot.
  static std::string ReferenceName(const TComponent* Component, const TComponent* ARoot);
  bool SameValue(const TPropInfo& Info, const TPropValue& A, const TPropValue& B) const;
  TFormValue& PutValue(TValueType Type);

  TStream& Stream;                    // where the text goes
  TFormObject Form;                   // the form being built
  TComponent* RootAncestor = nullptr; // the ancestor form's root, or null
  TFormObject* CurrentNode = nullptr; // object receiving defined properties
  std::string DefinePrefix;           // "Params." while writing Params' properties
  TFormValue* PropValue = nullptr;    // value of the defined property being written
  bool PropWritten = false;           // the callback wrote its top-level value
  std::vector<TFormValue*> OpenLists; // WriteListBegin without WriteListEnd yet
  int Depth = 0;                      // objects being written, the root counting 1
};

} // namespace ztl
