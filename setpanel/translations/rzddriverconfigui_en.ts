<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>General</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation>Lock settings</translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation>Select to prevent the interface options from being changed by a user.</translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation>Default preset:</translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation>Select a default preset for the TWAIN interface.</translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation>TWAIN driver</translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation>Auto transfer</translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation>Scanning and transfer starts when the scanner detects media.</translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation>Auto close on transfer</translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation>The interface closes automatically when scanning is complete.</translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation>Force UI-less</translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation>For use with applications that do not normally support UI-less mode.</translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation>Preset overrides capabilities</translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation>The default preset will override any changes made by the calling application.</translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation>Fail open if scanner not present</translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation>Prevents the driver from opening if the scanner is not connected.</translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation>Enable user compression</translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation>Allows the user to specify the type of compression used.</translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation>Remember compression</translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation>Compression settings will be saved and loaded from presets and last used settings.</translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation>Suppress TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation>Return default value if there is a TWCC_CAPSEQERROR error</translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation>Make TWAIN topmost UI</translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation>Always show the TWAIN interface in front of all other open windows. </translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation>Suppress EnableDS failure</translation>
    </message>
    <message>
        <source>Report success to the application when the scanner&apos;s interface cannot be enabled.</source>
        <translation>Report success to the application when the scanner&apos;s interface cannot be enabled.</translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation>WIA driver</translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation>Use default WIA UI</translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner's custom interface.</source>
        <translation>Use the Microsoft WIA interface instead of the scanner's custom interface.</translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation>Emulate WIA 1.0</translation>
    </message>
    <message>
        <source>Select to display the scanner's custom interface in WIA 1.0 applications.</source>
        <translation>Select to display the scanner's custom interface in WIA 1.0 applications.</translation>
    </message>
    <message>
        <source>Default settings</source>
        <translation>Default settings</translation>
    </message>
    <message>
        <source>Last used settings</source>
        <translation>Last used settings</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</source>
        <translation>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>You need administrative privileges to change this setting.</translation>
    </message>
    <message>
        <source>Attention!</source>
        <translation>Attention!</translation>
    </message>
    <message>
        <source>This will change WIA driver behaviour. Do you want to continue?</source>
        <translation>This will change WIA driver behaviour. Do you want to continue?</translation>
    </message>
    <message>
        <source>Power cycle the scanner and click OK.</source>
        <translation>Power cycle the scanner and click OK.</translation>
    </message>
</context>
</TS>
