// The text form syntax: what the parser accepts from classic writers, what
// it rejects (with the line), and the layout the printer produces.
#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "framework/classes/FormFiles.h"

namespace ztl {
namespace {

const TFormValue& Prop(const TFormObject& O, std::string_view Name) {
  for (const TFormProperty& P : O.Properties)
    if (P.Name == Name)
      return P.Value;
  throw std::runtime_error("no property " + std::string(Name));
}

TEST(FormParser, ReadsEveryValueKindWithAnyLineEnd) {
  const std::string Lf = "object M: TDataModule\n"
                         "  I = -42\n"
                         "  H = $FF\n"
                         "  F = 1.5E3\n"
                         "  C = 12.5c\n"
                         "  S = 'It''s'#39's'#13#10'x'\n"
                         "  Long = \n"
                         "    'first part ' +\n"
                         "    'second'#9 +\n"
                         "    #$41\n"
                         "  Id = Other.Session1\n"
                         "  B = True\n"
                         "  N = nil\n"
                         "  E = []\n"
                         "  St = [a, b]\n"
                         "  L = (\n"
                         "    'x'\n"
                         "    1\n"
                         "    (2 3))\n"
                         "  D = {\n"
                         "    0A0b\n"
                         "    FF 00}\n"
                         "  Coll = <\n"
                         "    item\n"
                         "      Name = 'a'\n"
                         "    end\n"
                         "    item [1]\n"
                         "    end>\n"
                         "  object Q: TQ [3]\n"
                         "  end\n"
                         "  inherited TUnnamed\n"
                         "  end\n"
                         "end\n";
  std::string Crlf, Cr;
  for (char C : Lf) {
    Crlf += C == '\n' ? std::string("\r\n") : std::string(1, C);
    Cr += C == '\n' ? '\r' : C;
  }
  for (const std::string& Text : {Lf, Crlf, Cr}) {
    SCOPED_TRACE(Text.substr(0, 25));
    const TFormObject O = ParseFormText(Text);
    EXPECT_EQ(O.Name, "M");
    EXPECT_EQ(O.ClassName, "TDataModule");
    EXPECT_EQ(Prop(O, "I").Integer, -42);
    EXPECT_EQ(Prop(O, "H").Integer, 255);
    EXPECT_EQ(Prop(O, "F").Float, 1500.0);
    EXPECT_EQ(Prop(O, "C").Float, 12.5);
    EXPECT_EQ(Prop(O, "S").Text, "It's's\r\nx");
    EXPECT_EQ(Prop(O, "Long").Text, "first part second\tA");
    EXPECT_EQ(Prop(O, "Long").Line, 8);
    EXPECT_EQ(Prop(O, "Id").Type, vaIdent);
    EXPECT_EQ(Prop(O, "Id").Text, "Other.Session1");
    EXPECT_EQ(Prop(O, "B").Type, vaTrue);
    EXPECT_EQ(Prop(O, "N").Type, vaNil);
    EXPECT_TRUE(Prop(O, "E").Items.empty());
    ASSERT_EQ(Prop(O, "St").Items.size(), 2u);
    EXPECT_EQ(Prop(O, "St").Items[1].Text, "b");
    const TFormValue& L = Prop(O, "L");
    ASSERT_EQ(L.Items.size(), 3u);
    EXPECT_EQ(L.Items[2].Items[1].Integer, 3);
    EXPECT_EQ(Prop(O, "D").Text, std::string("\x0A\x0B\xFF\x00", 4));
    ASSERT_EQ(Prop(O, "Coll").CollectionItems.size(), 2u);
    EXPECT_EQ(Prop(O, "Coll").CollectionItems[0][0].Value.Text, "a");
    ASSERT_EQ(O.Children.size(), 2u);
    EXPECT_EQ(O.Children[0].ChildPos, 3);
    EXPECT_EQ(O.Children[0].Line, 29);
    EXPECT_TRUE(O.Children[1].Inherited);
    EXPECT_EQ(O.Children[1].Name, "");
    EXPECT_EQ(O.Children[1].ClassName, "TUnnamed");
  }
}

TEST(FormParser, MapsUnicodeCodesOntoTheAnsiCodePage) {
  const TFormObject O = ParseFormText("object A: T\n S = #8364#233'x'\nend");
  EXPECT_EQ(Prop(O, "S").Text, "\x80\xE9x");
}

TEST(FormParser, RejectsMalformedInputWithItsLine) {
  const std::string Deep = std::string(300, '(');
  struct TCase {
    std::string Text;
    std::string Message;
  } Cases[] = {
      {"", "Invalid stream format on line 1"},
      {"object A: T\n  S = 'open\nend", "Invalid string constant on line 2"},
      {"object A: T\n  D = {0A0}\nend", "Invalid binary value on line 2"},
      {"object A: T\n  D = {0G}\nend", "Invalid binary value on line 2"},
      {"object A: T\n  I = 99999999999999999999\nend",
       "'99999999999999999999' is not a valid integer value on line 2"},
      {"object A: T\n  F = 1e999\nend", "'1e999' is not a valid floating point value on line 2"},
      {"object A: T\n  S = #70000\nend", "Character code 70000 cannot be stored on line 2"},
      {"object A: T\n  S = #1000\nend", "Character code 1000 cannot be stored on line 2"},
      {"object A: T\n  S = 'a' +\n  5\nend", "String expected on line 3"},
      {"object A: T\n  X 5\nend", "'=' expected on line 2"},
      {"object A: T\n  X = \nend", "Identifier expected on line 3"},
      {"object A: T\n  X = )\nend", "Invalid property value on line 2"},
      {"object A: T\n  X = 1\n", "Identifier expected on line 3"},
      {"object A: T\n  object B: T\n  end\n  X = 1\nend", "'end' expected on line 4"},
      {"object A: T\nend\nobject B: T\nend", "Invalid stream format on line 3"},
      {"object A: T\n  L = " + Deep + "\nend", "Objects and lists nested too deeply on line 2"},
      {std::string("object A: T\n X = \0\nend", 21), "Invalid property value on line 2"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Text);
    try {
      ParseFormText(C.Text);
      ADD_FAILURE() << "accepted";
    } catch (const EParserError& E) {
      EXPECT_EQ(E.GetMessage(), C.Message);
    }
  }
}

TEST(FormParser, RejectsObjectsNestedTooDeeply) {
  std::string Text;
  for (int I = 0; I < MaxFormNesting + 1; ++I)
    Text += "object A: T\n";
  for (int I = 0; I < MaxFormNesting + 1; ++I)
    Text += "end\n";
  EXPECT_THROW(ParseFormText(Text), EParserError);
}

TEST(FormPrinter, WritesTheClassicLayout) {
  TFormObject O;
  O.Name = "M";
  O.ClassName = "TDataModule";
  auto Add = [&O](std::string Name, TFormValue V) {
    O.Properties.push_back(TFormProperty{std::move(Name), std::move(V), 0});
  };
  TFormValue S;
  S.Type = vaString;
  S.Text = "It's\r\n\xE9";
  Add("S", S);
  TFormValue Long = S;
  Long.Text = std::string(70, 'a');
  Add("Long", Long);
  TFormValue F;
  F.Type = vaExtended;
  F.Float = 2;
  Add("F", F);
  TFormValue Bin;
  Bin.Type = vaBinary;
  Bin.Text = std::string(33, '\x1F');
  Add("Data", Bin);
  TFormValue List;
  List.Type = vaList;
  List.Items = {S, Long};
  Add("Lines.Strings", List);
  TFormObject Child;
  Child.Inherited = true;
  Child.Name = "Q";
  Child.ClassName = "TQ";
  O.Children.push_back(Child);

  const std::string Text = FormObjectToText(O);
  std::string Hex;
  for (int I = 0; I < 32; ++I)
    Hex += "1F";
  EXPECT_EQ(Text,
            "object M: TDataModule\r\n"
            "  S = 'It'#39's'#13#10#233\r\n"
            "  Long = \r\n"
            "    'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\r\n"
            "    'aaaaaa'\r\n"
            "  F = 2.0\r\n"
            "  Data = {\r\n"
            "    " +
                Hex +
                "\r\n"
                "    1F}\r\n"
                "  Lines.Strings = (\r\n"
                "    'It'#39's'#13#10#233\r\n"
                "    \r\n"
                "      'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' +\r\n"
                "      'aaaaaa')\r\n"
                "  inherited Q: TQ\r\n"
                "  end\r\n"
                "end\r\n");
  // The printed text parses back to a tree that prints the same.
  EXPECT_EQ(FormObjectToText(ParseFormText(Text)), Text);
}

TEST(FormPrinter, FloatsReadBackExactlyAndNeverAsIntegers) {
  for (double V : {0.1, -0.0, 1e300, 123456789012345678901.0, 5e-324, 2.5}) {
    TFormValue F;
    F.Type = vaExtended;
    F.Float = V;
    const std::string Text = "object A: T\n X = " + FormValueToText(F) + "\nend";
    const TFormObject Form = ParseFormText(Text);
    const TFormValue& Back = Form.Properties[0].Value;
    EXPECT_EQ(Back.Type, vaExtended) << Text;
    EXPECT_EQ(Back.Float, V) << Text;
  }
  TFormValue Inf;
  Inf.Type = vaExtended;
  Inf.Float = std::numeric_limits<double>::infinity();
  EXPECT_THROW(FormValueToText(Inf), EWriteError);
}

} // namespace
} // namespace ztl
