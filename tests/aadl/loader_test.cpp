#include <gtest/gtest.h>

#include <filesystem>

#include "aadl/aadl_loader.hpp"
#include "loader_test_util.hpp"

namespace vorquel::testing {
namespace {

std::string model_text(const Loaded& l) {
  EXPECT_EQ(l.ending, Ending::Ok) << l.message << l.out << l.err;
  return show(l.model);
}

std::string feature_of(const std::string& features) {
  return aaxl_public("<threadType name=\"T\"><features>" + features + "</features></threadType>");
}

std::string value_doc(const std::string& value) {
  return aaxl_public(
      "<threadType name=\"T\"><properties><propertyAssociation propertyDefinition=\"X\">" + value +
      "</propertyAssociation></properties></threadType>");
}

const std::string int_ref = aaxl_ref("dataType", "int");

TEST(Loader, ReadsTheTypicalModel) {
  auto l = load_text(read_file(source_path("tests/data/loader/typical.aaxl")), 0, "examples/typical.aaxl");
  EXPECT_EQ(model_text(l),
            "package K\n"
            "  public Data type int\n"
            "  public Thread type T features [x: data_port in K::int; y: data_port out K::int] properties "
            "[Dispatch_Protocol = [enum Periodic]; Period = [int 10 ms]; Compute_Execution_Time = [int_range 1 - .. 3 -]]\n"
            "  public Process type P\n"
            "  public Process impl P.i subcomponents [t1: Thread K::T; t2: Thread K::T] connections "
            "[c1: data t1.y -> t2.x; c2: data t2.y ->> t1.x]\n"
            "  public Processor type CPU\n"
            "  public System type S\n"
            "  public System impl S.i subcomponents [p: Process K::P.i; cpu: Processor K::CPU] properties "
            "[Actual_Processor_Binding@p = [ref cpu]]\n");
}

// The modelling tool's own namespaces and "//aadlPackage" references,
// comments, flows, port groups, calls and a private section.
TEST(Loader, ReadsTheToolsOwnForm) {
  auto l = load_text(read_file(source_path("tests/data/loader/tool_style.aaxl")), 0, "tool_style.aaxl");
  EXPECT_EQ(model_text(l),
            "package Pkg\n"
            "  private Data type Msg\n"
            "  private port group Bundle features [tick: event_port in; msg: event_data_port out -]\n"
            "  private port group Bundle_inv inverse of Bundle\n"
            "  private Subprogram type Step features [a: parameter in Pkg::Msg; r: parameter out Pkg::Msg]\n"
            "  private Thread type Worker features [io: port_group Pkg::Bundle; shared: access required Data "
            "Pkg::Msg {Required_Access = [enum read_write]}] properties [Dispatch_Protocol = [enum Sporadic]; "
            "Period = [int 20 ms]]\n"
            "  private Thread impl Worker.impl calls [(c1: Pkg::Step; c2: Pkg::Step)] connections "
            "[-: parameter c1.r -> c2.a]\n");
}

TEST(Loader, OrdersPackagesAndDeclarations) {
  struct Case {
    const char* what;
    std::string file;
    std::string body;
    std::string expected;
  } cases[] = {
      {"packages in reverse document order", "t.aaxl",
       "<aadlPackage name=\"P1\"><aadlPublic/></aadlPackage><aadlPackage name=\"P2\"><aadlPrivate/></aadlPackage>",
       "package P2\npackage P1\n"},
      {"loose declarations gathered first, in reverse order, named after the file", "dir/sub/model.aaxl",
       "<threadType name=\"T\"/><aadlPackage name=\"K\"><aadlPublic><dataType name=\"d\"/></aadlPublic></aadlPackage>"
       "<processType name=\"P\"/><portGroupType name=\"G\"/>",
       "package model\n  public port group G\n  public Process type P\n  public Thread type T\n"
       "package K\n  public Data type d\n"},
      {"the file name keeps inner dots and needs no extension", "dir/a.b.aaxl", "<dataType name=\"d\"/>",
       "package a.b\n  public Data type d\n"},
      {"no extension", "model", "<dataType name=\"d\"/>", "package model\n  public Data type d\n"},
      {"section contents in document order", "t.aaxl",
       "<aadlPackage name=\"K\"><aadlPrivate><dataType name=\"a\"/><systemImpl name=\"S.i\" compType=\"x\"/>"
       "<busType name=\"b\"/></aadlPrivate></aadlPackage>",
       "package K\n  private Data type a\n  private System impl S.i\n  private Bus type b\n"},
      {"several features and properties elements are concatenated", "t.aaxl",
       "<dataType name=\"d\"><features><eventPort name=\"a\"/></features>"
       "<properties><propertyAssociation propertyDefinition=\"p1\"/></properties>"
       "<features><eventPort name=\"b\" direction=\"out\"/></features>"
       "<properties><propertyAssociation propertyDefinition=\"p2\"/><propertyAssociation propertyDefinition=\"p3\"/>"
       "</properties></dataType>",
       "package t\n  public Data type d features [a: event_port in; b: event_port out] properties [p1 =; p2 =; p3 =]\n"},
      {"an empty document", "t.aaxl", "", ""},
      {"every category of declaration", "t.aaxl",
       "<subprogramType name=\"a\"/><memoryImpl name=\"b.i\" compType=\"x\"/><deviceType name=\"c\"/>"
       "<processorImpl name=\"d.i\" compType=\"x\"/><threadImpl name=\"e.i\" compType=\"x\"/>"
       "<dataImpl name=\"f.i\" compType=\"x\"/><subprogramImpl name=\"g.i\" compType=\"x\"/>"
       "<busImpl name=\"h.i\" compType=\"x\"/><deviceImpl name=\"k.i\" compType=\"x\"/><memoryType name=\"m\"/>",
       "package t\n  public Memory type m\n  public Device impl k.i\n  public Bus impl h.i\n"
       "  public Subprogram impl g.i\n  public Data impl f.i\n  public Thread impl e.i\n"
       "  public Processor impl d.i\n  public Device type c\n  public Memory impl b.i\n"
       "  public Subprogram type a\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(model_text(load_text(aaxl_doc(c.body), 0, c.file)), c.expected) << c.what;
}

TEST(Loader, ReadsFeatures) {
  struct Case {
    std::string element;
    std::string expected;
  } cases[] = {
      {"<dataPort name=\"x\"/>", "x: data_port in -"},
      {"<dataPort name=\"x\" direction=\"\" dataClassifier=\"" + int_ref + "\"/>", "x: data_port in K::int"},
      {"<dataPort name=\"x\" direction=\"in out\"/>", "x: data_port inout -"},
      {"<eventDataPort name=\"e\" direction=\"out\"/>", "e: event_data_port out -"},
      {"<eventPort name=\"e\" direction=\"in\"/>", "e: event_port in"},
      {"<parameter name=\"p\" direction=\"out\" dataClassifier=\"" + int_ref + "\"/>", "p: parameter out K::int"},
      {"<portGroup name=\"g\" portGroupType=\"" + aaxl_ref("portGroupType", "G") + "\"/>", "g: port_group K::G"},
      {"<dataAccess name=\"a\"/>", "a: access provided Data -"},
      {"<dataAccess name=\"a\" direction=\"required\" dataClassifier=\"" + int_ref + "\"/>",
       "a: access required Data K::int"},
      {"<busAccess name=\"b\" direction=\"provided\" busClassifier=\"" + aaxl_ref("busType", "B") + "\"/>",
       "b: access provided Bus K::B"},
      {"<dataPort name=\"/x/y[@name=q.r]\"/>", "q.r: data_port in -"},
      {"<eventPort name=\"e\"><properties><propertyAssociation propertyDefinition=\"a::Urgency\">"
       "<propertyValue xsi:type=\"property:IntegerValue\" value=\"3\"/></propertyAssociation></properties>"
       "<properties><propertyAssociation propertyDefinition=\"Queue\"/></properties></eventPort>",
       "e: event_port in {a::Urgency = [int 3 -]; Queue =}"},
  };
  for (const auto& c : cases) {
    auto l = load_text(feature_of(c.element));
    ASSERT_EQ(l.ending, Ending::Ok) << c.element << l.message;
    const auto& t = std::get<Component>(l.model.at(0).public_part.at(0));
    ASSERT_EQ(t.features.size(), 1u) << c.element;
    EXPECT_EQ(show(t.features[0]), c.expected) << c.element;
  }
}

TEST(Loader, ReadsImplementations) {
  std::string ctx = aaxl_ref("processImpl", "P.i") + "/subcomponents/threadSubcomponent[@name=";
  std::string port = aaxl_ref("threadType", "T") + "/features/dataPort[@name=";
  std::string body =
      "<processImpl name=\"P.i\" compType=\"" + aaxl_ref("processType", "P") + "\">"
      "<subcomponents>"
      "<dataSubcomponent name=\"d\" classifier=\"" + int_ref + "\"/><threadSubcomponent name=\"t\"/>"
      "<processSubcomponent name=\"p\"/><processorSubcomponent name=\"c\"/><memorySubcomponent name=\"m\"/>"
      "<busSubcomponent name=\"b\"/><deviceSubcomponent name=\"v\"><properties>"
      "<propertyAssociation propertyDefinition=\"q\"/></properties></deviceSubcomponent>"
      "</subcomponents>"
      "<connections>"
      "<dataConnection src=\"" + port + "y]\" srcContext=\"" + ctx + "t1]\" dst=\"" + port + "x]\" dstContext=\"" + ctx + "t2]\"/>"
      "<eventConnection name=\"e\" timing=\"Immediate\" src=\"" + port + "y]\" dst=\"" + port + "x]\" "
      "dstContext=\"" + aaxl_ref("processImpl", "P.i") + "\"/>"
      "</connections>"
      "<connections>"
      "<eventDataConnection name=\"k.l\" timing=\"Delayed\" src=\"a\" dst=\"b\"/>"
      "<portGroupConnection src=\"a\" dst=\"b\"/><parameterConnection src=\"a\" dst=\"b\"/>"
      "<dataAccessConnection src=\"a\" dst=\"b\"><properties><propertyAssociation propertyDefinition=\"q\"/>"
      "</properties></dataAccessConnection>"
      "<busAccessConnection src=\"a\" dst=\"b\" srcContext=\"" + aaxl_ref("processImpl", "P.i") + "/callSequences/callSequence/call[@name=c]\"/>"
      "</connections>"
      "<callSequences><callSequence/><callSequence><call name=\"c\" classifier=\"" +
      aaxl_ref("subprogramType", "S") + "\"><properties><propertyAssociation propertyDefinition=\"q\"/></properties>"
      "</call><call name=\"d\" classifier=\"S2\"/></callSequence></callSequences>"
      "<flows><endToEndFlow name=\"f\"/></flows>"
      "<properties><propertyAssociation propertyDefinition=\"r\"/></properties>"
      "</processImpl>";
  EXPECT_EQ(model_text(load_text(aaxl_public(body))),
            "package K\n  public Process impl P.i subcomponents [d: Data K::int; t: Thread -; p: Process -; "
            "c: Processor -; m: Memory -; b: Bus -; v: Device - {q =}] calls [(); (c: K::S {q =}; d: S2)] "
            "connections [-: data t1.y -> t2.x; e: event y -> x; k.l: event_data a ->> b; -: port_group a -> b; "
            "-: parameter a -> b; -: data_access a -> b {q =}; -: bus_access c.a -> b] properties [r =]\n");
}

TEST(Loader, ReadsPropertyValues) {
  const std::string ms = "unitLiteral=\"/x/unitLiteral[@name=ms]\"";
  struct Case {
    std::string value;
    std::string expected;  // the value read, or "internal" for an internal error
  } cases[] = {
      {"<propertyValue xsi:type=\"property:IntegerValue\" value=\"10\" " + ms + "/>", "int 10 ms"},
      {"<propertyValue xsi:type=\"property:IntegerValue\" value=\"-7\" valueString=\"-7\" base=\"10\"/>", "int -7 -"},
      {"<propertyValue xsi:type=\"property:IntegerValue\" value=\"1.5\"/>", "error"},
      {"<propertyValue xsi:type=\"property:IntegerValue\" value=\"ten\"/>", "error"},
      {"<propertyValue xsi:type=\"property:IntegerValue\" value=\"99999999999999999999\"/>", "error"},
      {"<propertyValue xsi:type=\"property:IntegerValue\"/>", "error"},
      {"<propertyValue xsi:type=\"property:RealValue\" value=\"2.5\" " + ms + "/>", "real 2.5 ms"},
      {"<propertyValue xsi:type=\"property:RealValue\" value=\"1e3\"/>", "real 1000 -"},
      {"<propertyValue xsi:type=\"property:RealValue\" value=\"nan\"/>", "error"},
      {"<propertyValue xsi:type=\"property:RealValue\"/>", "error"},
      {"<propertyValue xsi:type=\"property:StringValue\" value=\"a.b::c\"/>", "string a_b__c"},
      {"<propertyValue xsi:type=\"property:StringValue\"/>", "error"},
      {"<propertyValue xsi:type=\"property:EnumValue\" enumLiteral=\"/x/enumLiteral[@name=Periodic]\"/>",
       "enum Periodic"},
      {"<propertyValue xsi:type=\"property:EnumValue\"/>", "enum unknown_enum_value"},
      {"<propertyValue xsi:type=\"property:ReferenceValue\" referenceElement=\"/a/b[@name=cpu]\"/>", "ref cpu"},
      {"<propertyValue xsi:type=\"property:ReferenceValue\"/>", "ref unknown_enum_value"},
      {"<propertyValue xsi:type=\"property:IntegerRangeValue\"><minimum value=\"1\" valueString=\"1\" " + ms +
           "/><maximum value=\"3\" valueString=\"3\"/></propertyValue>",
       "int_range 1 ms .. 3 -"},
      {"<propertyValue xsi:type=\"property:IntegerRangeValue\" delta=\"2\"><minimum value=\"1\" valueString=\"\"/>"
       "<maximum value=\"3\" valueString=\"\"/></propertyValue>",
       "int_range 1 - .. 3 - delta 2"},
      {"<propertyValue xsi:type=\"property:IntegerRangeValue\"/>", "error"},
      {"<propertyValue xsi:type=\"property:IntegerRangeValue\"><minimum value=\"1.0\" valueString=\"\"/>"
       "<maximum value=\"3\" valueString=\"\"/></propertyValue>",
       "error"},
      {"<propertyValue xsi:type=\"property:RealRangeValue\" delta=\"0.5\"><minimum value=\"0.5\" valueString=\"\"/>"
       "<maximum value=\"2\" valueString=\"\" xsi:type=\"property:RealValue\"/></propertyValue>",
       "real_range 0.5 - .. 2 - delta 0.5"},
      {"<propertyValue xsi:type=\"property:BooleanValue\" value=\"true\"/>", "bool true"},
      {"<propertyValue xsi:type=\"property:BooleanValue\" value=\"FALSE\"/>", "bool false"},
      {"<propertyValue xsi:type=\"property:BooleanValue\" value=\"yes\"/>", "error"},
      {"<propertyValue xsi:type=\"property:BooleanValue\"/>", "error"},
  };
  for (const auto& c : cases) {
    auto l = load_text(value_doc(c.value));
    if (c.expected == "error") {
      EXPECT_EQ(l.ending, Ending::Failure) << c.value;
      EXPECT_EQ(l.message.rfind("*** t.aaxl:4:79: error: property X: ", 0), 0u) << l.message;
      continue;
    }
    ASSERT_EQ(l.ending, Ending::Ok) << c.value << l.message;
    const auto& t = std::get<Component>(l.model.at(0).public_part.at(0));
    EXPECT_EQ(show(t.properties.at(0).values.at(0)), c.expected) << c.value;
  }
  // A boolean value other than true or false is quoted as written.
  auto l = load_text(value_doc("<propertyValue xsi:type=\"property:BooleanValue\" value=\"/a[@name=b.c]\"/>"));
  EXPECT_NE(l.message.find("boolean value \"/a[@name=b.c]\": write true or false"), std::string::npos) << l.message;
}

TEST(Loader, ReadsAssociations) {
  auto l = load_text(value_doc("<propertyValue xsi:type=\"property:EnumValue\"/>"
                               "<propertyValue xsi:type=\"property:ReferenceValue\"/>"));
  ASSERT_EQ(l.ending, Ending::Ok);
  EXPECT_EQ(show(std::get<Component>(l.model[0].public_part[0]).properties[0]),
            "X = [enum unknown_enum_value] [ref unknown_enum_value]");
  l = load_text(aaxl_public(
      "<systemImpl name=\"S.i\" compType=\"S\"><properties><propertyAssociation access=\"true\" "
      "propertyDefinition=\"/aadlSpec[@name=AADL_Properties]/propertySet[@name=AADL_Properties]/"
      "propertyDefinition[@name=Actual_Processor_Binding]\" appliesTo=\"/a/subcomponents/s[@name=p.q]\"/>"
      "</properties></systemImpl>"));
  ASSERT_EQ(l.ending, Ending::Ok);
  EXPECT_EQ(show(std::get<Component>(l.model[0].public_part[0]).properties[0]), "Actual_Processor_Binding@p.q =");
}

// Whether the structure check accepts a document.
TEST(Loader, AcceptsExactlyTheKnownStructure) {
  const std::string thread = "<threadType name=\"T\"/>";
  auto in_package = [](const std::string& s) { return "<aadlPackage name=\"K\">" + s + "</aadlPackage>"; };
  auto with_header = [](const std::string& root_attrs, const std::string& body) {
    return "<core:AadlSpec " + root_attrs + ">" + body + "</core:AadlSpec>";
  };
  const std::string std_ns =
      "xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"/tmp/aadl-schema/core\" name=\"n\"";
  const std::string range = "<propertyValue xsi:type=\"property:IntegerRangeValue\">";
  const std::string min = "<minimum value=\"1\" valueString=\"1\"/>", max = "<maximum value=\"2\" valueString=\"2\"/>";
  struct Case {
    const char* what;
    std::string document;
    bool accepted;
  } cases[] = {
      {"comments everywhere, even in empty content",
       aaxl_doc("<comment/>" + in_package("<comment>x</comment><aadlPublic><comment><any a=\"1\"><deep/></any>"
                                          "</comment></aadlPublic>") +
                "<threadType name=\"T\"><properties><comment/><propertyAssociation propertyDefinition=\"P\">" + range +
                "<comment/>" + min + "<comment/><maximum value=\"2\" valueString=\"2\"><comment/></maximum>"
                "</propertyValue></propertyAssociation></properties></threadType>"),
       true},
      {"aadlPublic and aadlPrivate together", aaxl_doc(in_package("<aadlPublic/><aadlPrivate/>")), false},
      {"two aadlPublic", aaxl_doc(in_package("<aadlPublic/><aadlPublic/>")), false},
      {"a package without section", aaxl_doc(in_package("")), false},
      {"a package with only a comment", aaxl_doc(in_package("<comment/>")), false},
      {"flows and flow specifications with any content",
       aaxl_public("<threadType name=\"T\"><flowSpecs><flowSourceSpec name=\"f\" src=\"x\"><x y=\"z\">t</x>"
                   "</flowSourceSpec><flowSinkSpec/><flowPathSpec/></flowSpecs><flowSpecs/></threadType>"
                   "<threadImpl name=\"T.i\" compType=\"x\"><flows><flowPathImpl a=\"b\"/><flowPathImpl/></flows>"
                   "<flows><endToEndFlow/></flows></threadImpl>"),
       true},
      {"flows mixing both kinds",
       aaxl_public("<threadImpl name=\"T.i\" compType=\"x\"><flows><flowPathImpl/><endToEndFlow/></flows></threadImpl>"),
       false},
      {"empty flows", aaxl_public("<threadImpl name=\"T.i\" compType=\"x\"><flows/></threadImpl>"), false},
      {"flow specifications on an implementation",
       aaxl_public("<threadImpl name=\"T.i\" compType=\"x\"><flowSpecs/></threadImpl>"), false},
      {"features on an implementation",
       aaxl_public("<threadImpl name=\"T.i\" compType=\"x\"><features/></threadImpl>"), false},
      {"an implementation without compType", aaxl_public("<threadImpl name=\"T.i\"/>"), false},
      {"a declaration without name", aaxl_public("<threadType/>"), false},
      {"an unknown attribute", aaxl_public("<threadType name=\"T\" extends=\"U\"/>"), false},
      {"an unknown element", aaxl_public("<threadGroupType name=\"T\"/>"), false},
      {"a prefixed element", aaxl_doc("<core:threadType name=\"T\"/>"), false},
      {"a namespace declaration below the root", aaxl_public("<threadType xmlns:core=\"x\" name=\"T\"/>"), false},
      {"text content", aaxl_public("<threadType name=\"T\">hello</threadType>"), false},
      {"CDATA text", aaxl_public("<threadType name=\"T\"><![CDATA[x]]></threadType>"), false},
      {"whitespace and XML comments", aaxl_public("\n\t <!-- note --> <threadType name=\"T\"> <![CDATA[ ]]>\r\n</threadType>"),
       true},
      {"a classifier on an event data port", feature_of("<eventDataPort name=\"e\" dataClassifier=\"x\"/>"), false},
      {"two features in a port group type",
       aaxl_public("<portGroupType name=\"G\"><features/><features/></portGroupType>"), false},
      {"empty properties", aaxl_public("<threadType name=\"T\"><properties/></threadType>"), false},
      {"a range with its maximum first",
       value_doc(range + "<maximum value=\"2\" valueString=\"2\"/>" + min + "</propertyValue>"), false},
      {"a range with a minimum only", value_doc(range + min + "</propertyValue>"), false},
      {"a range with three bounds", value_doc(range + min + max + max + "</propertyValue>"), false},
      {"a bound without valueString",
       value_doc(range + "<minimum value=\"1\"/>" + max + "</propertyValue>"), false},
      {"content in a bound", value_doc(range + min + "<maximum value=\"2\" valueString=\"2\">" + min +
                                       "</maximum></propertyValue>"),
       false},
      {"an unknown value kind", value_doc("<propertyValue xsi:type=\"property:ListValue\"/>"), false},
      {"a value kind in another prefix", value_doc("<propertyValue xsi:type=\"core:IntegerValue\"/>"), false},
      {"a value without kind", value_doc("<propertyValue value=\"1\"/>"), false},
      {"a connection without dst", aaxl_public("<processImpl name=\"P.i\" compType=\"x\"><connections>"
                                               "<dataConnection src=\"a\"/></connections></processImpl>"),
       false},
      {"a call without classifier", aaxl_public("<processImpl name=\"P.i\" compType=\"x\"><callSequences>"
                                                "<callSequence><call name=\"c\"/></callSequence></callSequences>"
                                                "</processImpl>"),
       false},
      {"a thread group sub-component", aaxl_public("<processImpl name=\"P.i\" compType=\"x\"><subcomponents>"
                                                   "<threadGroupSubcomponent name=\"g\"/></subcomponents></processImpl>"),
       false},
      {"the modelling tool's namespaces",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"http:///AADL/core\" "
                   "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:property=\"http:///AADL/property\" "
                   "name=\"n\"",
                   "<threadType name=\"T\"><properties><propertyAssociation propertyDefinition=\"P\">"
                   "<propertyValue xsi:type=\"property:EnumValue\"/></propertyAssociation></properties></threadType>"),
       true},
      {"a file: location of the schema",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" "
                   "xmlns:core=\"file:/home/u/aadl-schema/core\" name=\"n\"", thread),
       true},
      {"a relative location of the schema",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"aadl-schema/core\" name=\"n\"",
                   thread),
       true},
      {"another core namespace",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"/tmp/schema/core\" name=\"n\"",
                   thread),
       false},
      {"a namespace ending like the schema",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" xmlns:core=\"/tmp/my-aadl-schema/core\" "
                   "name=\"n\"", thread),
       false},
      {"a root without namespace", "<AadlSpec xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" name=\"n\"/>",
       false},
      {"a root with an undeclared prefix", "<core:AadlSpec xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" name=\"n\"/>",
       false},
      {"another root element", "<core:AadlPackage " + std_ns + "/>", false},
      {"a root without name", with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://www.omg.org/XMI\" "
                                          "xmlns:core=\"/tmp/aadl-schema/core\"", ""),
       false},
      {"a root without version", with_header("xmlns:core=\"/tmp/aadl-schema/core\" name=\"n\"", ""), false},
      {"an undeclared xmi prefix", with_header("xmi:version=\"2.0\" xmlns:core=\"/tmp/aadl-schema/core\" name=\"n\"", ""),
       false},
      {"an xmi prefix naming another namespace",
       with_header("xmi:version=\"2.0\" xmlns:xmi=\"http://example.org/XMI\" xmlns:core=\"/tmp/aadl-schema/core\" "
                   "name=\"n\"", ""),
       false},
      {"a default namespace on the root", with_header(std_ns + " xmlns=\"/tmp/aadl-schema/core\"", ""), false},
      {"another namespace declaration on the root", with_header(std_ns + " xmlns:ecore=\"x\"", ""), false},
      {"a value kind whose property prefix is undeclared",
       with_header(std_ns + " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"",
                   "<threadType name=\"T\"><properties><propertyAssociation propertyDefinition=\"P\">"
                   "<propertyValue xsi:type=\"property:EnumValue\"/></propertyAssociation></properties></threadType>"),
       false},
      {"an undeclared xsi prefix",
       with_header(std_ns + " xmlns:property=\"/tmp/aadl-schema/property\"",
                   "<threadType name=\"T\"><properties><propertyAssociation propertyDefinition=\"P\">"
                   "<propertyValue xsi:type=\"property:EnumValue\"/></propertyAssociation></properties></threadType>"),
       false},
      {"a root that is a comment", "<comment/>", false},
  };
  for (const auto& c : cases) {
    auto l = load_text(c.document, 2);
    if (c.accepted) {
      EXPECT_EQ(l.ending, Ending::Ok) << c.what << ": " << l.out << l.err;
    } else {
      EXPECT_EQ(l.ending, Ending::Exit) << c.what;
      EXPECT_EQ(l.err.rfind("*** Invalid AAXL document: ", 0), 0u) << c.what << ": " << l.out << l.err;
    }
  }
}

TEST(Loader, CommentsAndFlowsDoNotChangeTheModel) {
  std::string plain = aaxl_public(
      "<threadType name=\"T\"><features><dataPort name=\"x\"/></features></threadType>"
      "<threadImpl name=\"T.i\" compType=\"x\"/>");
  std::string decorated = aaxl_public(
      "<comment>a</comment><threadType name=\"T\"><comment/><flowSpecs><flowSinkSpec name=\"f\"/></flowSpecs>"
      "<features><comment><dataPort name=\"hidden\"/></comment><dataPort name=\"x\"><comment/></dataPort></features>"
      "</threadType><comment><threadType name=\"U\"/></comment>"
      "<threadImpl name=\"T.i\" compType=\"x\"><flows><endToEndFlow name=\"e\"/></flows></threadImpl>");
  EXPECT_EQ(model_text(load_text(decorated)), model_text(load_text(plain)));
}

TEST(Loader, ReportsXmlErrors) {
  struct Case {
    std::string text;
    std::string description;
  } cases[] = {
      {"<a>\n  <b>\n</a>", "line 3, column 3: Start-end tags mismatch"},
      {"", "No document element found"},
      {"<?xml version=\"1.0\"?>\n<!-- nothing -->\n", "No document element found"},
      {"<a/>\n<b/>", "line 2, column 2: a second root element <b>"},
      {"<a/> trailing", "line 1, column 5: text outside the root element"},
      {"<a/>x", "line 1, column 5: text outside the root element"},
      {std::string("<a/>\n\0", 6), "line 2, column 1: null character, which XML does not allow"},
      {aaxl_public("<threadType name=\"T\" name=\"U\"/>"),
       "line 4, column 22: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/threadType[@name=T]: "
       "attribute name given twice"},
      {aaxl_public("<comment><x a=\"1\" a=\"2\"/></comment>"),
       "line 4, column 11: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/comment/x: attribute a given twice"},
  };
  for (const auto& c : cases) {
    auto l = load_text(c.text, 0, "dir/m.aaxl");
    EXPECT_EQ(l.ending, Ending::Exit);
    EXPECT_EQ(l.out, "*** XML parsing error if file dir/m.aaxl: " + c.description + "\n");
    EXPECT_EQ(l.err.rfind("dir/m.aaxl", 0), 0u) << l.err;
    EXPECT_NE(l.err.find(": error: malformed XML: "), std::string::npos) << l.err;
  }
  EXPECT_EQ(load_text("<a>\n  <b>\n</a>", 0, "dir/m.aaxl").err,
            "dir/m.aaxl:3:3: error: malformed XML: Start-end tags mismatch\n");
}

TEST(Loader, ExplainsInvalidDocuments) {
  std::string doc = aaxl_doc("<aadlPackage name=\"K\">\n  <aadlPublic/>\n  <aadlPrivate/>\n</aadlPackage>");
  const std::string explanation =
      "*** Invalid AAXL document: it migth be due to: \n"
      "*** \t (1) the header, which ougth to say where to find the aaxl schema, points to a wrong place. "
      "Have you set correctly set the AADL_SCHEMA_DIR environment variable?\n"
      "*** \t (2) an aaxl unsupported entitier. Please send a report to the vorquel issue tracker.\n"
      "*** \t (3) a bug in the osate aaxl generator (which ougth to generate schema conforming code).\n"
      "*** use -v 2 for more information on this schema error.\n";
  for (int verbosity : {0, 1}) {
    auto l = load_text(doc, verbosity);
    EXPECT_EQ(l.ending, Ending::Exit);
    EXPECT_EQ(l.message, "2");
    EXPECT_EQ(l.out, explanation);
    // The precise cause, located, at any verbosity.
    EXPECT_NE(l.err.find(":5:4: error: invalid AAXL document: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]: "
                         "unexpected element <aadlPrivate> after <aadlPublic>"),
              std::string::npos)
        << l.err;
  }
  struct Case {
    std::string document;
    std::string description;
  } cases[] = {
      {doc,
       "line 5, column 4: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]: unexpected element <aadlPrivate> after "
       "<aadlPublic>; expected exactly one aadlPublic or aadlPrivate"},
      {aaxl_doc("<aadlPackage name=\"K\"/>"),
       "line 3, column 2: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]: missing content; expected exactly one "
       "aadlPublic or aadlPrivate"},
      {aaxl_public("<threadType name=\"T\" color=\"red\"/>"),
       "line 4, column 22: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/threadType[@name=T]: unexpected "
       "attribute color; expected attributes among name"},
      {aaxl_public("<threadType name=\"T\"><properties/></threadType>"),
       "line 4, column 23: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/threadType[@name=T]/properties: "
       "missing content; expected one or more of propertyAssociation"},
      {aaxl_public("<callSequences/>"),
       "line 4, column 2: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic: unexpected element <callSequences>; "
       "expected any sequence of dataType, subprogramType, threadType, processType, processorType, memoryType, "
       "busType, deviceType, systemType, dataImpl, subprogramImpl, threadImpl, processImpl, processorImpl, "
       "memoryImpl, busImpl, deviceImpl, systemImpl, portGroupType"},
      {aaxl_public("<processImpl name=\"P.i\"/>"),
       "line 4, column 2: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/processImpl[@name=P.i]: missing "
       "attribute compType"},
      {aaxl_public("<dataType name=\"d\">\n  some text</dataType>"),
       "line 4, column 20: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/dataType[@name=d]: unexpected text "
       "\"\n  some text\"; expected any sequence of features, properties, flowSpecs"},
      {value_doc("<propertyValue xsi:type=\"property:Boolean\"/>"),
       "line 4, column 93: in /core:AadlSpec[@name=t]/aadlPackage[@name=K]/aadlPublic/threadType[@name=T]/properties/"
       "propertyAssociation/propertyValue: attribute xsi:type is \"property:Boolean\"; expected one of "
       "property:IntegerValue, property:RealValue, property:BooleanValue, property:StringValue, "
       "property:EnumValue, property:ReferenceValue, property:IntegerRangeValue, property:RealRangeValue"},
      {"<core:AadlSpec xmlns:core=\"http://example.org/core\" name=\"n\"/>",
       "line 1, column 2: the root element is in the namespace \"http://example.org/core\"; expected the AADL core "
       "namespace (a path ending in aadl-schema/core, or http:///AADL/core)"},
      {"<AadlSpec/>",
       "line 1, column 2: the root element <AadlSpec> has no namespace; expected <core:AadlSpec> in the AADL core "
       "namespace (a path ending in aadl-schema/core, or http:///AADL/core)"},
  };
  for (const auto& c : cases) {
    auto l = load_text(c.document, 2);
    EXPECT_EQ(l.ending, Ending::Exit);
    EXPECT_EQ(l.out, "");
    EXPECT_EQ(l.err.rfind("*** Invalid AAXL document: " + c.description + "\n", 0), 0u) << l.err;
  }
}

TEST(Loader, ReportsBadTexts) {
  auto connection = [](const std::string& timing) {
    return aaxl_public("<processImpl name=\"P.i\" compType=\"x\"><connections><dataConnection src=\"a\" dst=\"b\" "
                       "timing=\"" + timing + "\"/></connections></processImpl>");
  };
  auto l = load_text(connection("Sampled"));
  EXPECT_EQ(l.ending, Ending::Failure);
  EXPECT_EQ(l.message, "*** aaxl error: \"Sampled\" instead of Delayed or Immediate.\n");
  EXPECT_EQ(load_text(connection("delayed")).ending, Ending::Failure);

  l = load_text(feature_of("<dataPort name=\"x\" direction=\"provided\"/>"));
  EXPECT_EQ(l.ending, Ending::Internal);
  EXPECT_EQ(l.out, "");
  l = load_text(feature_of("<dataAccess name=\"x\" direction=\"in\"/>"));
  EXPECT_EQ(l.ending, Ending::Internal);
  EXPECT_EQ(l.out, "\"in\"");
  EXPECT_EQ(load_text(feature_of("<dataPort name=\"\"/>")).ending, Ending::Internal);
}

TEST(Loader, ReportsUnreadableFiles) {
  std::string dir = make_temp_dir("loader");
  struct Case {
    std::string file;
    std::string reason;
  } cases[] = {{dir + "/missing.aaxl", "No such file or directory"}, {dir, "Is a directory"}};
  for (const auto& c : cases) {
    auto o = capture([&] { parse_aadl(0, c.file); });
    EXPECT_EQ(o.ending, Ending::Failure);
    EXPECT_EQ(o.message, "*** Cannot read " + c.file + ": " + c.reason + "\n");
  }
  write_file(dir + "/m.aaxl", aaxl_doc("<dataType name=\"d\"/>"));
  Model m;
  auto o = capture([&] { m = parse_aadl(0, dir + "/m.aaxl"); });
  ASSERT_EQ(o.ending, Ending::Ok) << o.message;
  EXPECT_EQ(show(m), "package m\n  public Data type d\n");
  std::filesystem::remove_all(dir);
}

// Nesting far deeper than the structure allows is reported, or skipped
// inside ignored elements, without exhausting the stack.
TEST(Loader, HandlesDeepNesting) {
  auto nest = [](int depth) {
    std::string s;
    s.reserve(depth * 7);
    for (int i = 0; i < depth; ++i) s += "<x>";
    for (int i = 0; i < depth; ++i) s += "</x>";
    return s;
  };
  const std::string deep = nest(100000);
  EXPECT_EQ(load_text(aaxl_doc("<comment>" + deep + "</comment>")).ending, Ending::Ok);
  EXPECT_EQ(load_text(aaxl_public("<threadImpl name=\"T.i\" compType=\"x\"><flows><endToEndFlow>" + deep +
                                  "</endToEndFlow></flows></threadImpl>")).ending,
            Ending::Ok);
  EXPECT_EQ(load_text(aaxl_doc(deep)).ending, Ending::Exit);
  EXPECT_EQ(load_text(deep).ending, Ending::Exit);
  std::string packages;
  for (int i = 0; i < 100000; ++i) packages += "<aadlPackage name=\"K\"><aadlPublic>";
  EXPECT_EQ(load_text(aaxl_doc(packages)).ending, Ending::Exit);

  // A fault deep inside a comment is located by a shortened path.
  std::string open, close;
  for (int i = 0; i < 50000; ++i) open += "<x>", close += "</x>";
  auto l = load_text(aaxl_doc("<comment>" + open + "<y a=\"1\" a=\"2\"/>" + close + "</comment>"));
  EXPECT_EQ(l.ending, Ending::Exit);
  EXPECT_EQ(l.out, "*** XML parsing error if file t.aaxl: line 3, column 150011: in "
                   "/core:AadlSpec[@name=t]/comment/x/x/.../x/x/x/x/x/y: attribute a given twice\n");
}

// Inputs found by fuzzing the reader: each must end with a model or one of
// the program's own error reports.
TEST(Loader, SurvivesFuzzFindings) {
  std::string dir = source_path("tests/data/fuzz-seeds/loader");
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no folder " << dir;
  for (const auto& f : std::filesystem::directory_iterator(dir)) {
    auto l = load_text(read_file(f.path().string()));
    EXPECT_TRUE(l.ending == Ending::Ok || l.ending == Ending::Exit || l.ending == Ending::Failure ||
                l.ending == Ending::Internal)
        << f.path();
  }
}

}  // namespace
}  // namespace vorquel::testing
