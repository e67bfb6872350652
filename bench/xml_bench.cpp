// Speed of the XML parser against pugixml on the same documents (ours on UTF-16, pugixml on their
// UTF-8 form), of the property map's XML form at growing sizes, and of the packet round trip.
// scripts/bench turns the results into its summary lines; names here are part of that contract.

#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "foundation/ZrPropertyMap.h"
#include "foundation/ZrXmlDocument.h"
#include "ipc/ZrIpcPacket.h"

namespace {

struct Document {
  std::string name;
  ZrString text;
  std::string utf8;
};

ZrString Text(const std::u16string& s) { return ZrString(std::u16string_view(s)); }

std::u16string Number(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// Values of the kinds records carry: IR patterns, names with markup characters and accents,
// numbers, empty values.
ZrString ValueFor(int i) {
  switch (i % 5) {
    case 0: return Text(u"0000 006D 0022 0002 0155 00AA 0015 0040 0015 0015 0015 0040 " + Number(i));
    case 1: return Text(u"Caf\u00e9 & Cr\u00e8me <" + Number(i) + u">");
    case 2: return Text(Number(i * 7919));
    case 3: return ZrString();
    default: return Text(u"HID 045E 006D 0D " + Number(i));
  }
}

ZrPropertyMap MapOf(int items) {
  ZrPropertyMap map;
  for (int i = 0; i < items; ++i) map.SetString(Text(u"Key" + Number(i)).c_str(), ValueFor(i));
  return map;
}

Document PropertyMapDocument(const std::string& name, int characters) {
  ZrPropertyMap map;
  ZrString xml;
  // Grow in steps until the text reaches its size.
  for (int items = 8;; items += items / 4 + 1) {
    map = MapOf(items);
    map.ToXml(xml, u"ZRIPC", false, 1.0);
    if (xml.Length() >= characters) break;
  }
  return {name, xml, xml.ToUtf8()};
}

Document NestedDocument(const std::string& name, int characters) {
  std::u16string s = u"<?xml version=\"1.0\"?>\r\n<library version=\"1.0\" owner=\"bench\">\r\n";
  for (int section = 0; static_cast<int>(s.size()) < characters; ++section) {
    s += u"  <section id=\"" + Number(section) + u"\" name='Section " + Number(section) + u"'>\r\n";
    for (int book = 0; book < 6; ++book) {
      s += u"    <book id=\"b" + Number(book) + u"\" lang=\"en\" available=\"yes\" shelf='" + Number(section % 17) +
           u"'>\r\n      <title>Title &amp; subtitle " + Number(book) + u"</title>\r\n      <author first=\"Ann\" last=\"Smith\"/>\r\n";
      for (int chapter = 0; chapter < 3; ++chapter) {
        s += u"      <chapter n=\"" + Number(chapter) + u"\" pages=\"" + Number(10 + chapter) +
             u"\">\r\n        <para>Some text, with &lt;markup&gt; and \u00e9 in it.</para>\r\n"
             u"        <para><![CDATA[raw <text>]]> more</para>\r\n      </chapter>\r\n";
      }
      s += u"    </book>\r\n";
    }
    s += u"  </section>\r\n";
  }
  s += u"</library>";
  const ZrString text = Text(s);
  return {name, text, text.ToUtf8()};
}

const std::vector<Document>& Documents() {
  static const std::vector<Document> documents = {
      PropertyMapDocument("map_1k", 1024),
      PropertyMapDocument("map_64k", 64 * 1024),
      PropertyMapDocument("map_1m", 1024 * 1024),
      NestedDocument("nested_1m", 1024 * 1024),
  };
  return documents;
}

void ParseOurs(benchmark::State& state, const Document* document) {
  for (auto _ : state) {
    ZrXmlDocument parsed;
    if (!parsed.Parse(document->text)) state.SkipWithError("not well formed");
    benchmark::DoNotOptimize(parsed.GetRecordCount());
  }
  state.SetItemsProcessed(state.iterations() * document->text.Length());
  state.counters["chars"] = document->text.Length();
}

void ParsePeer(benchmark::State& state, const Document* document) {
  for (auto _ : state) {
    pugi::xml_document parsed;
    const pugi::xml_parse_result result =
        parsed.load_buffer(document->utf8.data(), document->utf8.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result) state.SkipWithError(result.description());
    benchmark::DoNotOptimize(parsed.first_child());
  }
  // Counted in the same characters as ours, not in UTF-8 bytes.
  state.SetItemsProcessed(state.iterations() * document->text.Length());
  state.counters["chars"] = document->text.Length();
}

void ToXml(benchmark::State& state) {
  const ZrPropertyMap map = MapOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ZrString xml;
    map.ToXml(xml, u"ZRIPC", false, 1.0);
    benchmark::DoNotOptimize(xml.c_str());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void FromXml(benchmark::State& state) {
  const ZrPropertyMap map = MapOf(static_cast<int>(state.range(0)));
  ZrString xml;
  map.ToXml(xml, u"ZRIPC", false, 1.0);
  for (auto _ : state) {
    ZrPropertyMap read;
    if (!read.FromXml(xml, u"ZRIPC", 1.0) || read.GetCount() != map.GetCount()) state.SkipWithError("read back wrong");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void PacketRoundTrip(benchmark::State& state) {
  ZrIpcPacket request;
  request.SetString(u"Command", ZrString(u"IRBlast"));
  request.SetInt(u"Port", 1);
  request.SetString(u"Code", ZrString(u"<ZRIR version=\"1.0\">\r\n<Item Name=\"IRData\">0000 006D 0022 0002</Item>\r\n</ZRIR>"));
  request.SetString(u"Name", ZrString(u"Living room TV"));
  request.SetInt(u"Result", 0);
  for (auto _ : state) {
    ZrByteBuffer bytes;
    request.ToBytes(bytes);
    ZrIpcPacket reply;
    if (!reply.FromBytes(bytes)) state.SkipWithError("packet not read back");
    benchmark::DoNotOptimize(reply.GetCount());
  }
}

void Register() {
  for (const Document& document : Documents()) {
    benchmark::RegisterBenchmark(("xml_parse/ours/" + document.name).c_str(), ParseOurs, &document);
    benchmark::RegisterBenchmark(("xml_parse/peer/" + document.name).c_str(), ParsePeer, &document);
  }
  for (auto* benchmark : {benchmark::RegisterBenchmark("to_xml", ToXml), benchmark::RegisterBenchmark("from_xml", FromXml)}) {
    benchmark->Arg(10)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("packet_roundtrip", PacketRoundTrip)->Unit(benchmark::kNanosecond);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
