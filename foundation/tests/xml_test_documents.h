// Documents shared by the XML store tests.
#pragma once

namespace rzd::test {

// A small device description in the shape the driver carries: indented with CR LF, a comment,
// CDATA, empty xmlns attributes, lists, enumerations and ranges.
inline constexpr char16_t kDeviceDescription[] =
    u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    u"<Scanner Name=\"Quarx M48tz\">\r\n"
    u"  <Buttons xmlns=\"\">\r\n"
    u"    <!-- Keep ID name 'Button' + button number -->\r\n"
    u"    <List>\r\n"
    u"      <Item Name=\"Button\" ID=\"Button2\" Type=\"Simplex\"/>\r\n"
    u"      <Item Name=\"Button\" ID=\"Button7\" Type=\"DFDIgnore\" SubType=\"DFD3Button\"/>\r\n"
    u"    </List>\r\n"
    u"  </Buttons>\r\n"
    u"  <DocumentSourceModes xmlns=\"\"><Enum>\r\n"
    u"    <Value IsCurrent=\"true\">SingleSource</Value>\r\n"
    u"    <Value>FixedMultiSource</Value>\r\n"
    u"  </Enum></DocumentSourceModes>\r\n"
    u"  <HardwareSettings>\r\n"
    u"    <SleepTimeout><Range><Value Minimum=\"5\" Maximum=\"120\" Step=\"1\" Default=\"15\">15</Value></Range></SleepTimeout>\r\n"
    u"    <OffTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\" Default=\"0\">\t0\t</Value></Range></OffTimeout>\r\n"
    u"    <VendorName>Corvanite</VendorName>\r\n"
    u"    <Script><![CDATA[a < b && c]]></Script>\r\n"
    u"  </HardwareSettings>\r\n"
    u"  <DocumentSources xmlns=\"\"><List>\r\n"
    u"    <Item Name=\"DocumentSource\" ID=\"ADF\" Type=\"ADF\" IsSet=\"true\">\r\n"
    u"      <Limits><Width>8500</Width></Limits>\r\n"
    u"      <Paperweight><Enum><Value IsCurrent=\"true\">Off</Value><Value>On</Value></Enum></Paperweight>\r\n"
    u"      <ImageSources><List>\r\n"
    u"        <Item Name=\"ImageSource\" ID=\"Front1\" Type=\"Front\" IsSet=\"true\">\r\n"
    u"          <Streams><List>\r\n"
    u"            <Item Name=\"Stream\" ID=\"Color1\" Type=\"Color\" IsSet=\"true\" BitDepth=\"24\">\r\n"
    u"              <ImageQuality ModuleID=\"Q1\">\r\n"
    u"                <Brightness DependsOnValue=\"Main\"><Range><Value>128</Value></Range></Brightness>\r\n"
    u"                <Brightness DependsOnValue=\"Red\"><Range><Value>140</Value></Range></Brightness>\r\n"
    u"                <Extra ModuleID=\"Q2\"><Inner ModuleID=\"Q3\">x</Inner></Extra>\r\n"
    u"              </ImageQuality>\r\n"
    u"              <UseVRSGammaTable><Enum><Value IsCurrent=\"true\">On</Value><Value>Off</Value></Enum></UseVRSGammaTable>\r\n"
    u"            </Item>\r\n"
    u"            <Item Name=\"Stream\" ID=\"Mono1\" Type=\"Mono\" IsSet=\"true\" BitDepth=\"1\">\r\n"
    u"              <BitDepthReductions><Enum><Value>Threshold</Value><Value IsCurrent=\"true\">Halftone</Value></Enum></BitDepthReductions>\r\n"
    u"            </Item>\r\n"
    u"          </List></Streams>\r\n"
    u"        </Item>\r\n"
    u"        <Item Name=\"ImageSource\" ID=\"Back1\" Type=\"Back\" IsSet=\"false\"/>\r\n"
    u"      </List></ImageSources>\r\n"
    u"    </Item>\r\n"
    u"  </List></DocumentSources>\r\n"
    u"</Scanner>\r\n";

}  // namespace rzd::test
