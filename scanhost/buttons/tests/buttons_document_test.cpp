// The Buttons document of one poll, and the switches that disable buttons.
#include "scanhost/buttons/button_events.h"

#include <gtest/gtest.h>

namespace rzd::scanhost::buttons {
namespace {

TEST(ButtonsDocument, WhatEachDocumentSays) {
  struct Case {
    const char* what;
    std::u16string document;
    std::optional<ButtonState> state;
  } cases[] = {
      {"as the driver writes a short press of button 2",
       u"<Buttons>\r\n<Button ID=\"2\">\r\n<Event Function=\"3\">Short</Event>\r\n"
       u"<XPath><![CDATA[/Scanner/Buttons/List/Item[@ID=\"Button2\"]]]></XPath>\r\n</Button>\r\n</Buttons>",
       ButtonState{true, false, false, 3}},
      {"a long press of button 3 without a function", u"<Buttons><Button ID='3'><Event>Long</Event></Button></Buttons>",
       ButtonState{false, true, true, 1}},
      {"an event alone: a function, no press", u"<Buttons><Event Function='7'/></Buttons>", ButtonState{false, false, false, 7}},
      {"an event alone without a function", u"<Buttons><Event/></Buttons>", ButtonState{}},
      {"an event and a button: the event wins",
       u"<Buttons><Event Function='2'/><Button ID='2'><Event>Short</Event></Button></Buttons>",
       ButtonState{false, false, false, 2}},
      {"two buttons: the first counts",
       u"<Buttons><Button ID='3'><Event Function='5'>Short</Event></Button><Button ID='2'><Event>Long</Event></Button></Buttons>",
       ButtonState{false, true, false, 5}},
      {"a function number the unit sent as 0", u"<Buttons><Button ID='2'><Event Function='0'>Short</Event></Button></Buttons>",
       ButtonState{true, false, false, 0}},
      {"no press at all", u"<Buttons>\r\n</Buttons>", std::nullopt},
      {"another button", u"<Buttons><Button ID='7'><Event>Short</Event></Button></Buttons>", std::nullopt},
      {"a button without an ID", u"<Buttons><Button><Event>Short</Event></Button></Buttons>", std::nullopt},
      {"another event text", u"<Buttons><Button ID='2'><Event>Up</Event></Button></Buttons>", std::nullopt},
      {"a button without its event", u"<Buttons><Button ID='2'/></Buttons>", std::nullopt},
      {"no document", u"Buttons", std::nullopt},
      {"an empty text", u"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseButtonsXml(c.document), c.state) << c.what;
}

TEST(ButtonsDocument, DisableButtonsLeavesWhatItDoesNotSwitchOff) {
  const ButtonState simplexShort{true, false, false, 1}, simplexLong{true, false, true, 1};
  const ButtonState duplexShort{false, true, false, 1}, duplexLong{false, true, true, 1};
  struct Case {
    ButtonState in;
    uint32_t mask;
    bool simplex, duplex;
  } cases[] = {
      {simplexShort, 0x3, false, false},    {duplexShort, 0x3, false, false},   {simplexLong, 0x3, false, false},
      {simplexShort, 0x10000, true, false}, {simplexLong, 0x10000, false, false}, {duplexLong, 0x10000, false, true},
      {duplexLong, 0x20000, false, false},  {duplexShort, 0x20000, false, true}, {simplexShort, 0x2, true, false},
      {duplexShort, 0x1, false, true},      {simplexLong, 0, true, false},       {duplexLong, 0xFFFCFFFC, false, true},
  };
  for (const Case& c : cases) {
    const ButtonState out = ApplyDisableButtons(c.in, c.mask);
    EXPECT_EQ(out.simplex, c.simplex) << std::hex << c.mask;
    EXPECT_EQ(out.duplex, c.duplex) << std::hex << c.mask;
    EXPECT_EQ(out.longPress, c.in.longPress);
  }
}

TEST(ButtonsDocument, TheObjectsNames) {
  EXPECT_EQ(LongPressEventName(u"Quarx M48tz Scanner #2"),
            u"Global\\{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}!Quarx M48tz Scanner #2!Configure");
  EXPECT_EQ(ChannelSemaphoreName(u"U"), u"Global\\{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}!U!CHANNELMUX");
  EXPECT_EQ(ChannelEventName(u"U", false), u"Global\\{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}!U!SIMPLEX:CHANNELID!0");
  EXPECT_EQ(ChannelEventName(u"U", true), u"Global\\{B347F188-417F-40D7-97B6-B4DA1CB8FE5E}!U!DUPLEX:CHANNELID!1");
  EXPECT_EQ(UserSettingsEventName(), u"Global\\Quarx M48tz ScannerRZDUserSettingsChanged");
}

}  // namespace
}  // namespace rzd::scanhost::buttons
