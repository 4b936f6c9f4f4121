// The printer of form trees: a TFormObject back to text in the classic
// layout, which the parser reads back to the same tree.
#include <charconv>
#include <cmath>

#include "framework/classes/FormFiles.h"

namespace ztl {

namespace {

constexpr const char* LineEnd = "\r\n";
// Strings are cut into pieces of this many characters, binary data into
// lines of this many bytes (64 hex digits).
constexpr std::size_t StringPiece = 64;
constexpr std::size_t BinaryLineBytes = 32;

// Characters written inside quotes; everything else becomes #nn, so a form
// file is plain ASCII whatever its strings hold. The quote itself is #39,
// as the classic writer has it.
bool IsPlain(char C) {
  return C >= ' ' && C <= '~' && C != '\'';
}

class TFormPrinter {
public:
  std::string Out;

  void PrintObject(const TFormObject& Object, int Level) {
    Indent(Level);
    Out += Object.Inherited ? "inherited " : Object.Inline ? "inline " : "object ";
    if (!Object.Name.empty()) {
      Out += Object.Name;
      Out += ": ";
    }
    Out += Object.ClassName;
    if (Object.ChildPos >= 0) {
      Out += " [";
      Out += IntToStr(Object.ChildPos);
      Out += ']';
    }
    Out += LineEnd;
    for (const TFormProperty& Prop : Object.Properties)
      PrintProperty(Prop, Level + 1);
    for (const TFormObject& Child : Object.Children)
      PrintObject(Child, Level + 1);
    Indent(Level);
    Out += "end";
    Out += LineEnd;
  }

  void PrintValue(const TFormValue& Value, int Level) {
    switch (Value.Type) {
    case vaNull:
      Out += "Null";
      return;
    case vaNil:
      Out += "nil";
      return;
    case vaTrue:
      Out += "True";
      return;
    case vaFalse:
      Out += "False";
      return;
    case vaInteger:
      Out += IntToStr(Value.Integer);
      return;
    case vaExtended:
      PrintFloat(Value.Float);
      return;
    case vaIdent:
      Out += Value.Text;
      return;
    case vaString:
      PrintString(Value.Text, Level);
      return;
    case vaSet:
      Out += '[';
      for (std::size_t I = 0; I < Value.Items.size(); ++I) {
        if (I > 0)
          Out += ", ";
        Out += Value.Items[I].Text;
      }
      Out += ']';
      return;
    case vaList:
      Out += '(';
      for (const TFormValue& Item : Value.Items) {
        NewLine(Level + 1);
        PrintValue(Item, Level + 1);
      }
      Out += ')';
      return;
    case vaBinary:
      PrintBinary(Value.Text, Level);
      return;
    case vaCollection:
      Out += '<';
      for (const auto& Item : Value.CollectionItems) {
        NewLine(Level + 1);
        Out += "item";
        Out += LineEnd;
        for (const TFormProperty& Prop : Item)
          PrintProperty(Prop, Level + 2);
        Indent(Level + 1);
        Out += "end";
      }
      Out += '>';
      return;
    }
  }

private:
  void Indent(int Level) { Out.append(static_cast<std::size_t>(Level) * 2, ' '); }
  void NewLine(int Level) {
    Out += LineEnd;
    Indent(Level);
  }

  void PrintProperty(const TFormProperty& Prop, int Level) {
    Indent(Level);
    Out += Prop.Name;
    Out += " = ";
    PrintValue(Prop.Value, Level);
    Out += LineEnd;
  }

  // The shortest text that reads back as the same double, always with a
  // '.' or an exponent so that it is not taken for an integer.
  void PrintFloat(double Value) {
    if (!std::isfinite(Value))
      throw EWriteError(SFloatNotStorable);
    char Buffer[64];
    auto Result = std::to_chars(Buffer, Buffer + sizeof(Buffer), Value);
    std::string Text(Buffer, Result.ptr);
    if (Text.find_first_of(".eE") == std::string::npos)
      Text += ".0";
    Out += Text;
  }

  // A long string starts on a line of its own one level deeper and goes on
  // in pieces of at most 64 characters joined by " +".
  void PrintString(const std::string& S, int Level) {
    if (S.empty()) {
      Out += "''";
      return;
    }
    const int Inner = Level + 1;
    if (S.size() > StringPiece)
      NewLine(Inner);
    std::size_t I = 0;
    std::size_t LineStart = 0;
    while (I < S.size()) {
      bool Break = false;
      if (IsPlain(S[I])) {
        const std::size_t J = I;
        do
          ++I;
        while (I < S.size() && IsPlain(S[I]) && I - LineStart < StringPiece);
        Break = I - LineStart >= StringPiece;
        Out += '\'';
        Out.append(S, J, I - J);
        Out += '\'';
      } else {
        Out += '#';
        Out += IntToStr(static_cast<unsigned char>(S[I]));
        ++I;
        Break = I - LineStart >= StringPiece;
      }
      if (Break && I < S.size()) {
        Out += " +";
        NewLine(Inner);
        LineStart = I;
      }
    }
  }

  void PrintBinary(const std::string& Bytes, int Level) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    Out += '{';
    for (std::size_t I = 0; I < Bytes.size(); I += BinaryLineBytes) {
      NewLine(Level + 1);
      const std::size_t End = std::min(Bytes.size(), I + BinaryLineBytes);
      for (std::size_t K = I; K < End; ++K) {
        const unsigned char B = static_cast<unsigned char>(Bytes[K]);
        Out += Hex[B >> 4];
        Out += Hex[B & 15];
      }
    }
    Out += '}';
  }
};

} // namespace

std::string FormObjectToText(const TFormObject& Object) {
  TFormPrinter Printer;
  Printer.PrintObject(Object, 0);
  return std::move(Printer.Out);
}

std::string FormValueToText(const TFormValue& Value, int Level) {
  TFormPrinter Printer;
  Printer.PrintValue(Value, Level);
  return std::move(Printer.Out);
}

} // namespace ztl
