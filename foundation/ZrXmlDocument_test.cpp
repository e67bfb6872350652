#include "foundation/ZrXmlDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const ZrString& text) { return text.ToUtf8(); }

ZrString Z(const std::u16string& text) { return ZrString(std::u16string_view(text)); }

struct ErrorCase {
  const char16_t* text;
  bool wellFormed;
  const char16_t* error;
};

const ErrorCase kErrorCases[] = {
    {u"<a/>", true, u""},
    {u"<?xml version=\"1.0\"?>\r\n<!-- c --><a>x</a>\r\n", true, u""},
    {u"", false, u"Empty document"},
    {u"<!-- only a comment -->", false, u"No root element"},
    {u"   ", false, u"No root element"},
    {u"<a/><b/>", false, u"Root element has sibling"},
    {u"<a><b></a>", false, u"End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
    {u"<r><a><b><c></a></r>", false, u"End tag 'a' at offset 13 does not match start tag 'c' at offset 9"},
    {u"</x>", false, u"No root element"},
    {u"<r></x></r>", false, u"No start tag for end tag 'x' at offset 3"},
    {u"<a></A>", false, u"No start tag for end tag 'A' at offset 3"},
    {u"<a>", false, u"Element 'a' at offset 0 not ended"},
    {u"<r><a><b></r>", false, u"End tag 'r' at offset 10 does not match start tag 'b' at offset 6"},
    {u"<a><b>", false, u"Root element has sibling"},
    {u"<r>< b</r>", false, u"Incorrect tag name character at offset 3"},
    {u"<r><!x></r>", false, u"Incorrect ! tag at offset 3"},
    {u"<r><!-x></r>", false, u"Incorrect comment tag at offset 3"},
    {u"<r><![x[]]></r>", false, u"Incorrect tag at offset 3"},
    {u"<r><!ELEMENT r ANY></r>", false, u""},
    {u"<r><!DOCTYPE r [", false, u"Doctype at offset 3 unterminated"},
    {u"<r><a b='", false, u"Element tag at offset 3 unterminated"},
    {u"<r></r", false, u"Element end tag at offset 3 unterminated"},
    {u"<r><![CDATA[ x ]]", false, u"CDATA Section at offset 3 unterminated"},
    {u"<r><?pi", false, u"Processing instruction at offset 3 unterminated"},
    {u"<r><!-- x -", false, u"Comment at offset 3 unterminated"},
    {u"<r><", false, u"tag at offset 3 unterminated"},
    // Only the first problem is kept.
    {u"<r><!x><!-y></r>", false, u"Incorrect ! tag at offset 3"},
    {u"<r></y><a></r>", false, u"No start tag for end tag 'y' at offset 3"},
};

TEST(ZrXmlDocument, ParseResultAndErrorMessages) {
  for (const ErrorCase& c : kErrorCases) {
    ZrXmlDocument document;
    EXPECT_EQ(document.Parse(ZrString(c.text)), c.wellFormed) << Utf8(c.text);
    EXPECT_EQ(Utf8(document.GetError()), Utf8(c.error)) << Utf8(c.text);
  }
}

TEST(ZrXmlDocument, AnEarlierErrorIsKeptInFrontOfTheNextOne) {
  ZrXmlDocument document;
  EXPECT_FALSE(document.Parse(ZrString()));
  EXPECT_EQ(Utf8(document.GetError()), "Empty document");
  EXPECT_TRUE(document.Parse(ZrString(u"<a/>")));
  EXPECT_EQ(Utf8(document.GetError()), "Empty document");
  EXPECT_FALSE(document.Parse(ZrString(u"<a/><b/>")));
  EXPECT_EQ(Utf8(document.GetError()), "Empty document, Root element has sibling");
}

// The index of a document, element by element in text order, as text, so that two indexes compare
// by value and a difference shows where it is.
std::string DescribeIndex(const ZrXmlDocument& document) {
  std::string out;
  const auto walk = [&](auto&& self, int index, int depth) -> void {
    for (int i = document.GetRecord(index)->firstChild; i; i = document.GetRecord(i)->nextSibling) {
      const ZrXmlElementRecord* r = document.GetRecord(i);
      out += std::string(static_cast<size_t>(depth) * 2, ' ') + document.GetTagName(i).ToUtf8() + " start=" +
             std::to_string(r->start) + " length=" + std::to_string(r->length) +
             " tags=" + std::to_string(document.GetStartTagLength(i)) + "/" + std::to_string(document.GetEndTagLength(i)) +
             " level=" + std::to_string(r->levelFlags & ZrXmlDocument::kLevelMask) +
             ((r->levelFlags & ZrXmlDocument::kNotEnded) ? " not-ended" : "") +
             ((r->levelFlags & ZrXmlDocument::kFirstChild) ? " first" : "") + "\n";
      EXPECT_EQ(r->parent, index) << "parent of " << i;
      self(self, i, depth + 1);
    }
    // The first child's previous-sibling field holds the last child.
    const int first = document.GetRecord(index)->firstChild;
    if (first) {
      int last = first;
      while (document.GetRecord(last)->nextSibling) last = document.GetRecord(last)->nextSibling;
      EXPECT_EQ(document.GetRecord(first)->previousSibling, last) << "last child of " << index;
      for (int i = document.GetRecord(first)->nextSibling; i; i = document.GetRecord(i)->nextSibling) {
        const int previous = document.GetRecord(i)->previousSibling;
        EXPECT_EQ(document.GetRecord(previous)->nextSibling, i) << "previous of " << i;
      }
    }
  };
  walk(walk, 0, 0);
  out += "length=" + std::to_string(document.GetRecord(0)->length) + "\n";
  return out;
}

// An edited document must index its text exactly as a fresh parse of that text does.
void ExpectIndexAsReparsed(const ZrXmlDocument& edited) {
  ZrXmlDocument fresh;
  fresh.Parse(edited.GetText());
  EXPECT_EQ(DescribeIndex(edited), DescribeIndex(fresh)) << Utf8(edited.GetText());
}

TEST(ZrXmlDocument, UnmatchedEndTagClosesTheElementsInside) {
  ZrXmlDocument document;
  document.Parse(ZrString(u"<a><b></a>"));
  EXPECT_EQ(DescribeIndex(document),
            "a start=0 length=10 tags=3/4 level=1 first\n"
            "  b start=3 length=3 tags=3/0 level=2 not-ended first\n"
            "length=10\n");
  EXPECT_TRUE(document.GetRecord(1)->levelFlags & ZrXmlDocument::kHoldsError);
  EXPECT_TRUE(document.GetRecord(0)->levelFlags & ZrXmlDocument::kNotWellFormed);
}

TEST(ZrXmlDocument, ChildrenOfUnendedElementsFollowThemAsSiblings) {
  ZrXmlDocument document;
  EXPECT_FALSE(document.Parse(ZrString(u"<r><x><p/><y><q><s/></q><z/></r>")));
  EXPECT_EQ(DescribeIndex(document),
            "r start=0 length=32 tags=3/4 level=1 first\n"
            "  x start=3 length=3 tags=3/0 level=2 not-ended first\n"
            "  p start=6 length=4 tags=4/0 level=2\n"
            "  y start=10 length=3 tags=3/0 level=2 not-ended\n"
            "  q start=13 length=11 tags=3/4 level=2\n"
            "    s start=16 length=4 tags=4/0 level=3 first\n"
            "  z start=24 length=4 tags=4/0 level=2\n"
            "length=32\n");

  // At the end of the text every open element is closed that way, up to the top level.
  EXPECT_FALSE(document.Parse(ZrString(u"<a><b/><c>")));
  EXPECT_EQ(DescribeIndex(document),
            "a start=0 length=3 tags=3/0 level=1 not-ended first\n"
            "b start=3 length=4 tags=4/0 level=1\n"
            "c start=7 length=3 tags=3/0 level=1 not-ended\n"
            "length=10\n");
}

TEST(ZrXmlDocument, SiblingOfTheRootIsStillIndexed) {
  ZrXmlDocument document;
  EXPECT_FALSE(document.Parse(ZrString(u"<a/><b x='1'/>")));
  const int b = document.FindChildElement(0, 0, u"b");
  ASSERT_NE(b, 0);
  EXPECT_EQ(Utf8(document.GetAttribute(b, u"x")), "1");
}

TEST(ZrXmlDocument, EndTagsMatchCaseSensitivelyUnlessAsked) {
  ZrXmlDocument document;
  EXPECT_FALSE(document.Parse(ZrString(u"<Item>text</item>")));
  EXPECT_EQ(Utf8(document.GetError()), "No start tag for end tag 'item' at offset 10");
  const int item = document.FindChildElement(0, 0, u"Item");
  ASSERT_NE(item, 0);
  EXPECT_TRUE(document.GetRecord(item)->levelFlags & ZrXmlDocument::kNotEnded);
  EXPECT_EQ(Utf8(document.GetElementText(item)), "");

  ZrXmlDocument folding;
  folding.SetOptions(ZrXmlDocument::kOptionIgnoreCase);
  EXPECT_TRUE(folding.Parse(ZrString(u"<Item>text</item>")));
  EXPECT_EQ(Utf8(folding.GetElementText(folding.FindChildElement(0, 0, u"item"))), "text");
}

TEST(ZrXmlDocument, ASearchNameMatchesATagNameFollowedBySpaceEqualsSlashOrBracket) {
  struct Case {
    const char16_t* search;
    bool plain, folded;
  } cases[] = {
      {u"Item", true, true},   {u"item", false, true}, {u"ITEM", false, true}, {u"Item x", true, true},
      {u"Item=1", true, true}, {u"Item/a", true, true}, {u"Item[2]", true, true}, {u"Item]", true, true},
      {u"Items", false, false}, {u"Ite", false, false}, {u"", false, false},     {u"Item\t", false, false},
  };
  for (const Case& c : cases) {
    ZrXmlDocument document;
    document.Parse(ZrString(u"<r><Item/></r>"));
    const int r = document.FindChildElement(0, 0, u"r");
    ASSERT_NE(r, 0);
    EXPECT_EQ(document.FindChildElement(r, 0, c.search) != 0, c.plain) << Utf8(c.search);
    document.SetOptions(ZrXmlDocument::kOptionIgnoreCase);
    EXPECT_EQ(document.FindChildElement(r, 0, c.search) != 0, c.folded) << Utf8(c.search);
  }
}

TEST(ZrXmlDocument, NavigationEntersAndLeavesLevels) {
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(ZrString(u"<r><a>1</a><b>2</b><a>3</a><c><a>4</a></c></r>")));
  EXPECT_FALSE(document.EnterElement());  // nothing current yet
  const int r = document.FindChildElement(0, 0, u"r");
  ASSERT_NE(r, 0);
  EXPECT_EQ(document.GetCurrent(), r);
  EXPECT_EQ(document.GetParent(), 0);
  ASSERT_TRUE(document.EnterElement());
  EXPECT_EQ(document.GetParent(), r);
  EXPECT_EQ(document.GetCurrent(), 0);

  std::string texts;
  for (int a = 0; (a = document.FindChildElement(document.GetParent(), document.GetCurrent(), u"a"));)
    texts += Utf8(document.GetElementText(a));
  EXPECT_EQ(texts, "13");  // the a inside c is a level deeper
  const int lastA = document.GetCurrent();

  EXPECT_EQ(document.FindChildElement(r, 0, nullptr), document.FindChildElement(r, 0, u"a"));
  const int c = document.FindChildElement(r, 0, u"c");
  ASSERT_TRUE(document.EnterElement());
  EXPECT_EQ(Utf8(document.GetElementText(document.FindChildElement(c, 0, u"a"))), "4");
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.GetCurrent(), c);
  EXPECT_EQ(document.GetParent(), r);
  EXPECT_NE(document.GetChild(), 0);
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.GetCurrent(), r);
  EXPECT_EQ(document.GetChild(), c);
  EXPECT_EQ(document.GetParent(), 0);
  EXPECT_FALSE(document.LeaveElement());
  // Entering again returns to the child we left.
  ASSERT_TRUE(document.EnterElement());
  EXPECT_EQ(document.GetCurrent(), c);
  EXPECT_NE(lastA, c);

  // Indexes that do not exist find nothing and change nothing.
  EXPECT_EQ(document.FindChildElement(999, 0, u"a"), 0);
  EXPECT_EQ(document.FindChildElement(r, 999, u"a"), 0);
  EXPECT_EQ(document.FindChildElement(r, -1, u"a"), 0);
  EXPECT_EQ(document.GetCurrent(), c);
}

TEST(ZrXmlDocument, Attributes) {
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(ZrString(
      u"<e d=\"dq\" s='sq' u=bare sp = \"spaced\" flag e='&lt;&#65;&#x41;&bogus;' q='\"' "
      u"Names='no' Name='yes' gt='a>b'/>")));
  const int e = document.FindChildElement(0, 0, u"e");
  const struct {
    const char16_t* name;
    const char* value;
  } cases[] = {
      {u"d", "dq"},    {u"s", "sq"},      {u"u", "bare"},          {u"sp", "spaced"},
      {u"e", "<AA&bogus;"}, {u"q", "\""},  {u"Name", "yes"},       {u"gt", "a>b"},
      {u"flag", ""},   {u"missing", ""},  {u"D", ""},
  };
  ZrXmlDocument unquoted;
  unquoted.Parse(ZrString(u"<e u=bare/>"));
  EXPECT_EQ(Utf8(unquoted.GetAttribute(1, u"u")), "bare");
  // The raw value is the text as it stands, references and all.
  EXPECT_EQ(std::u16string(document.GetRawAttribute(e, u"e")), u"&lt;&#65;&#x41;&bogus;");
  EXPECT_TRUE(document.GetRawAttribute(e, u"missing").empty());
  for (const auto& c : cases) EXPECT_EQ(Utf8(document.GetAttribute(e, c.name)), c.value) << Utf8(c.name);
  document.SetOptions(ZrXmlDocument::kOptionIgnoreCase);
  EXPECT_EQ(Utf8(document.GetAttribute(e, u"D")), "dq");
  // Not an element.
  EXPECT_EQ(Utf8(document.GetAttribute(0, u"d")), "");
  EXPECT_EQ(Utf8(document.GetAttribute(77, u"d")), "");
}

TEST(ZrXmlDocument, ElementText) {
  const struct {
    const char16_t* xml;
    const char* text;
  } cases[] = {
      {u"<a>plain</a>", "plain"},
      {u"<a> a&lt;b &#65;&#x41; &unknown; </a>", " a<b AA &unknown; "},
      {u"<a>  </a>", "  "},
      {u"<a></a>", ""},
      {u"<a/>", ""},
      {u"<a>x<![CDATA[<raw>&amp;]]>y</a>", "x<raw>&amp;y"},
      {u"<a>x<!-- c -->y<?pi z?>&amp;</a>", "xy&"},
      {u"<a> <![CDATA[c]]> </a>", "c"},
      {u"<a>x<b/>y</a>", ""},
      {u"<a>x</b>y</a>", "xy"},
  };
  for (const auto& c : cases) {
    ZrXmlDocument document;
    document.Parse(ZrString(c.xml));
    EXPECT_EQ(Utf8(document.GetElementText(document.FindChildElement(0, 0, u"a"))), c.text) << Utf8(c.xml);
  }
}

TEST(ZrXmlDocument, FindNodeVisitsTheNodesOfTheCurrentLevel) {
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(ZrString(u"<r>t&amp;1<!--c--><a>in</a><![CDATA[d]]><?p i?> <b/></r>")));
  document.FindChildElement(0, 0, u"r");
  document.EnterElement();
  const struct {
    int kind;
    const char* text;
  } expected[] = {
      {kZrXmlText, "t&1"}, {kZrXmlComment, "c"}, {kZrXmlStartTag, "in"}, {kZrXmlCData, "d"},
      {kZrXmlProcessingInstruction, "p i"}, {kZrXmlWhiteSpace, " "}, {kZrXmlStartTag, ""},
  };
  const int all = kZrXmlStartTag | kZrXmlText | kZrXmlWhiteSpace | kZrXmlCData | kZrXmlProcessingInstruction | kZrXmlComment;
  for (const auto& e : expected) {
    ASSERT_EQ(document.FindNode(all), e.kind);
    EXPECT_EQ(document.GetNodeKind(), e.kind);
    EXPECT_EQ(Utf8(document.GetElementText(document.GetCurrent())), e.text);
  }
  EXPECT_EQ(document.FindNode(all), 0);

  // Elements passed on the way become current.
  document.FindChildElement(0, 0, u"r");
  document.EnterElement();
  EXPECT_EQ(document.FindNode(kZrXmlCData), kZrXmlCData);
  EXPECT_EQ(Utf8(document.GetTagName(document.GetCurrent())), "a");
  EXPECT_EQ(document.FindNode(kZrXmlStartTag), kZrXmlStartTag);
  EXPECT_EQ(Utf8(document.GetTagName(document.GetCurrent())), "b");
}

TEST(ZrXmlDocument, AppendingToAnEmptyDocumentGivesOneLinePerElement) {
  ZrXmlDocument document;
  document.Parse(ZrString());
  document.SetOptions(ZrXmlDocument::kOptionIgnoreCase);
  const int first = document.AppendElement(u"Item", ZrString(u"a<b&c\"d"));
  document.SetAttribute(first, u"Name", ZrString(u"k\"'<&"));
  const int second = document.AppendElement(u"Item", ZrString());
  document.SetAttribute(second, u"Name", ZrString(u"empty"));
  EXPECT_EQ(Utf8(document.GetText()),
            "<Item Name=\"k&quot;&apos;&lt;&amp;\">a&lt;b&amp;c\"d</Item>\r\n<Item Name=\"empty\"/>\r\n");
  EXPECT_EQ(document.GetCurrent(), second);
  EXPECT_TRUE(document.GetOptions() & ZrXmlDocument::kOptionEdited);
  EXPECT_EQ(Utf8(document.GetAttribute(first, u"name")), "k\"'<&");
  EXPECT_EQ(Utf8(document.GetElementText(first)), "a<b&c\"d");
  ExpectIndexAsReparsed(document);
}

TEST(ZrXmlDocument, EditsKeepTheIndexInStepWithTheText) {
  const char16_t* source = u"<r a='1'>\r\n  <x>one</x>\r\n  <y/>\r\n  <z><w/></z>\r\n</r>";
  struct Edit {
    const char* what;
    void (*apply)(ZrXmlDocument&);
  } edits[] = {
      {"append after the first child",
       [](ZrXmlDocument& d) {
         const int r = d.FindChildElement(0, 0, u"r");
         d.EnterElement();
         d.FindChildElement(r, 0, u"x");
         d.AppendElement(u"n", ZrString(u"new"));
       }},
      {"append at the end of the root",
       [](ZrXmlDocument& d) {
         d.FindChildElement(0, 0, u"r");
         d.EnterElement();
         d.AppendElement(u"n", ZrString(u"1"));
         d.AppendElement(u"m", ZrString());
       }},
      {"append into an empty-element tag",
       [](ZrXmlDocument& d) {
         const int r = d.FindChildElement(0, 0, u"r");
         d.EnterElement();
         d.FindChildElement(r, 0, u"y");
         d.EnterElement();
         d.AppendElement(u"inner", ZrString(u"t"));
         d.AppendElement(u"inner2", ZrString(u"u"));
       }},
      {"append into a nested element",
       [](ZrXmlDocument& d) {
         const int r = d.FindChildElement(0, 0, u"r");
         d.EnterElement();
         d.FindChildElement(r, 0, u"z");
         d.EnterElement();
         d.AppendElement(u"v", ZrString(u"t"));
       }},
      {"append after the root",
       [](ZrXmlDocument& d) {
         d.FindChildElement(0, 0, u"r");
         d.AppendElement(u"after", ZrString(u"t"));
       }},
      {"replace an attribute with a longer and a shorter value",
       [](ZrXmlDocument& d) {
         const int r = d.FindChildElement(0, 0, u"r");
         d.SetAttribute(r, u"a", ZrString(u"a much longer value"));
         d.SetAttribute(r, u"a", ZrString());
       }},
      {"add attributes in the middle of the document",
       [](ZrXmlDocument& d) {
         const int r = d.FindChildElement(0, 0, u"r");
         d.EnterElement();
         const int y = d.FindChildElement(r, 0, u"y");
         d.SetAttribute(y, u"k", ZrString(u"v&"));
         const int x = d.FindChildElement(r, 0, u"x");
         d.SetAttribute(x, u"k", ZrString(u"'"));
         d.SetAttribute(r, u"b", ZrString(u"2"));
       }},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    ZrXmlDocument document;
    ASSERT_TRUE(document.Parse(ZrString(source)));
    edit.apply(document);
    ExpectIndexAsReparsed(document);
  }
}

TEST(ZrXmlDocument, AppendedElementsAreFoundAndRead) {
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(ZrString(u"<r><y/></r>")));
  const int r = document.FindChildElement(0, 0, u"r");
  document.EnterElement();
  const int y = document.FindChildElement(r, 0, u"y");
  document.EnterElement();
  document.AppendElement(u"a", ZrString(u"1"));
  EXPECT_EQ(Utf8(document.GetText()), "<r><y><a>1</a>\r\n</y></r>");
  EXPECT_EQ(Utf8(document.GetElementText(document.FindChildElement(y, 0, u"a"))), "1");
  EXPECT_EQ(document.AppendElement(u"", ZrString(u"x")), 0);

  // A tag that ends in two slashes must not stay an empty-element tag.
  ZrXmlDocument slashes;
  ASSERT_TRUE(slashes.Parse(ZrString(u"<p a=x//>")));
  slashes.FindChildElement(0, 0, u"p");
  slashes.EnterElement();
  slashes.AppendElement(u"c", ZrString());
  EXPECT_EQ(Utf8(slashes.GetText()), "<p a=x/ ><c/>\r\n</p>");
  EXPECT_EQ(Utf8(slashes.GetAttribute(1, u"a")), "x/");
  ExpectIndexAsReparsed(slashes);
  EXPECT_EQ(document.AppendElement(nullptr, ZrString(u"x")), 0);
}

TEST(ZrXmlDocument, SetAttributeReplacesOrAppends) {
  const struct {
    const char16_t* xml;
    const char16_t* name;
    const char16_t* value;
    const char* result;
  } cases[] = {
      {u"<e/>", u"n", u"v", "<e n=\"v\"/>"},
      {u"<e>t</e>", u"n", u"v", "<e n=\"v\">t</e>"},
      {u"<e a='1' >t</e>", u"n", u"v", "<e a='1' n=\"v\" >t</e>"},
      {u"<e n='old' m=x/>", u"n", u"<\"", "<e n=\"&lt;&quot;\" m=x/>"},
      {u"<e m=x n = old>t</e>", u"n", u"new", "<e m=x n = \"new\">t</e>"},
      {u"<e flag n='1'/>", u"flag", u"v", "<e flag n='1' flag=\"v\"/>"},
      {u"<e n=x/>", u"n", u"v", "<e n=\"v\"/>"},
      {u"<e m=x/>", u"n", u"v", "<e m=x n=\"v\"/>"},
      {u"<e m=x />", u"n", u"v", "<e m=x n=\"v\" />"},
      {u"<e m=x/ >t</e>", u"n", u"v", "<e m=x/ n=\"v\" >t</e>"},
      // Quotes out of place still pair up, as the scanner pairs them.
      {u"<e a\"b c\"=1 n=2>t</e>", u"n", u"v", "<e a\"b c\"=1 n=\"v\">t</e>"},
      {u"<e m=x\"y z\">t</e>", u"n", u"v", "<e m=x\"y z\" n=\"v\">t</e>"},
      {u"<e m='a b'c n=1/>", u"n", u"v", "<e m='a b'c n=\"v\"/>"},
  };
  for (const auto& c : cases) {
    ZrXmlDocument document;
    document.Parse(ZrString(c.xml));
    const int e = document.FindChildElement(0, 0, u"e");
    document.SetAttribute(e, c.name, ZrString(c.value));
    EXPECT_EQ(Utf8(document.GetText()), c.result) << Utf8(c.xml);
    EXPECT_EQ(Utf8(document.GetAttribute(e, c.name)), ZrString(c.value).ToUtf8()) << Utf8(c.xml);
    ExpectIndexAsReparsed(document);
  }
}

TEST(ZrXmlDocument, DeepNestingSaturatesTheLevel) {
  constexpr int kDepth = 70000;
  std::u16string text;
  for (int i = 0; i < kDepth; ++i) text += u"<a>";
  text += u"x";
  for (int i = 0; i < kDepth; ++i) text += u"</a>";
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(Z(text)));
  EXPECT_EQ(document.GetRecordCount(), kDepth + 1);
  const ZrXmlElementRecord* innermost = document.GetRecord(kDepth);
  EXPECT_EQ(innermost->levelFlags, ZrXmlDocument::kLevelMask | ZrXmlDocument::kFirstChild);
  EXPECT_EQ(Utf8(document.GetElementText(kDepth)), "x");
}

TEST(ZrXmlDocument, TagLengthsTooLargeForTheirFieldAreMeasuredAgain) {
  const std::u16string longEnd = u"</a" + std::u16string(2000, u' ') + u">";
  const std::u16string longValue(5000000, u'v');
  const std::u16string text = u"<r><a>x" + longEnd + u"<b k='" + longValue + u"'>y</b></r>";
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(Z(text)));
  const int r = document.FindChildElement(0, 0, u"r");
  document.EnterElement();
  const int a = document.FindChildElement(r, 0, u"a");
  const int b = document.FindChildElement(r, 0, u"b");
  EXPECT_EQ(document.GetEndTagLength(a), static_cast<int>(longEnd.size()));
  EXPECT_EQ(Utf8(document.GetElementText(a)), "x");
  EXPECT_EQ(document.GetStartTagLength(b), static_cast<int>(longValue.size()) + 8);
  EXPECT_EQ(Utf8(document.GetElementText(b)), "y");
  EXPECT_EQ(document.GetAttribute(b, u"k").Length(), static_cast<int>(longValue.size()));
  document.SetAttribute(b, u"n", ZrString(u"1"));
  EXPECT_EQ(Utf8(document.GetAttribute(b, u"n")), "1");
  EXPECT_EQ(Utf8(document.GetElementText(b)), "y");
}

TEST(ZrXmlDocument, RecordsGrowByHalfButNeverPastTheBlockAfterTheLastInUse) {
  // 400000 empty elements in a root of 1600007 characters: the first capacity is 1600007 / 64 + 8.
  constexpr int kElements = 400000;
  std::u16string text = u"<r>";
  for (int i = 0; i < kElements; ++i) text += u"<i/>";
  text += u"</r>";
  ZrXmlDocument document;
  ASSERT_TRUE(document.Parse(Z(text)));
  EXPECT_EQ(document.GetRecordCount(), kElements + 2);
  // 25008, then by half: 37512, 56268, 84402, 126603, 189904; from there half would pass the end
  // of the block after the last one in use, so 262144, 327680, 393216 and 458752 follow. The fifth
  // block (number 4) needs a larger block table: 2 * 4 + 4 slots.
  EXPECT_EQ(document.GetRecordCapacity(), 458752);
  EXPECT_EQ(document.GetBlockTableCapacity(), 2 * 4 + 4);

  ZrXmlDocument small;
  small.Parse(ZrString(u"<r><a/><b/></r>"));
  EXPECT_EQ(small.GetRecordCapacity(), 8);
  EXPECT_EQ(small.GetBlockTableCapacity(), 4);
}

// Every prefix of a document that uses each construct parses without harm, and reports an error
// where the document is incomplete.
TEST(ZrXmlDocument, EveryTruncatedPrefixIsHandled) {
  const std::u16string full =
      u"<?xml version=\"1.0\"?>\r\n"
      u"<!DOCTYPE r [ <!ELEMENT r ANY> <!ATTLIST r a CDATA \"x>y\"> <!-- ]> --> ]>\r\n"
      u"<r a=\"1&amp;\" b='2&#65;'>\r\n"
      u" <!-- comment -->\r\n"
      u" <![CDATA[ <raw> ]]>\r\n"
      u" <?pi data?>\r\n"
      u" <e x=\"&lt;&#65;&#x42;\"/>\r\n"
      u" <t>text &amp; &#67;&#x44;</t>\r\n"
      u"</r>";
  {
    ZrXmlDocument document;
    ASSERT_TRUE(document.Parse(Z(full))) << Utf8(document.GetError());
    const int r = document.FindChildElement(0, 0, u"r");
    EXPECT_EQ(Utf8(document.GetAttribute(r, u"b")), "2A");
    document.EnterElement();
    EXPECT_EQ(Utf8(document.GetAttribute(document.FindChildElement(r, 0, u"e"), u"x")), "<AB");
    EXPECT_EQ(Utf8(document.GetElementText(document.FindChildElement(r, 0, u"t"))), "text & CD");
  }
  for (size_t n = 0; n < full.size(); ++n) {
    const std::u16string prefix = full.substr(0, n);
    ZrXmlDocument document;
    const bool wellFormed = document.Parse(Z(prefix));
    EXPECT_FALSE(wellFormed) << n;
    EXPECT_FALSE(document.GetError().IsEmpty()) << n;
    // Read everything that was indexed.
    for (int i = 1; i < document.GetRecordCount(); ++i) {
      document.GetTagName(i);
      document.GetAttribute(i, u"a");
      document.GetAttribute(i, u"x");
      document.GetElementText(i);
    }
  }
}

}  // namespace
