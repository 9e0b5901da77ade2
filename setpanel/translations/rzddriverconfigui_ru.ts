<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner&apos;s custom interface.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select to display the scanner&apos;s custom interface in WIA 1.0 applications.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
