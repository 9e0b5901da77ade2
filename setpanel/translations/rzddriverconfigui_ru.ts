<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation>Форма</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation>Заблокировать параметры</translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation>Запретить пользователю изменять параметры интерфейса.</translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation>Набор по умолчанию:</translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation>Выберите набор параметров по умолчанию для интерфейса TWAIN.</translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation>Драйвер TWAIN</translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation>Автоматическая передача</translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation>Сканирование и передача начинаются, когда сканер обнаруживает бумагу.</translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation>Закрывать после передачи</translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation>Интерфейс закрывается автоматически по окончании сканирования.</translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation>Принудительно без интерфейса</translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation>Для приложений, которые обычно не поддерживают работу без интерфейса.</translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation>Набор важнее настроек приложения</translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation>Набор по умолчанию заменяет изменения, сделанные вызывающим приложением.</translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation>Не открывать без сканера</translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation>Драйвер не открывается, если сканер не подключён.</translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation>Сжатие по выбору пользователя</translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation>Пользователь может выбрать тип сжатия.</translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation>Запоминать сжатие</translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation>Параметры сжатия сохраняются в наборах и последних настройках и загружаются из них.</translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation>Подавлять TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation>Возвращать значение по умолчанию при ошибке TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation>Интерфейс TWAIN поверх окон</translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation>Всегда показывать интерфейс TWAIN поверх остальных окон. </translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation>Подавлять сбой EnableDS</translation>
    </message>
    <message>
        <source>Report success to the application when the scanner&apos;s interface cannot be enabled.</source>
        <translation>Сообщать приложению об успехе, если интерфейс сканера не удаётся включить.</translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation>Драйвер WIA</translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation>Стандартный интерфейс WIA</translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner's custom interface.</source>
        <translation>Использовать интерфейс WIA от Microsoft вместо собственного интерфейса сканера.</translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation>Эмулировать WIA 1.0</translation>
    </message>
    <message>
        <source>Select to display the scanner's custom interface in WIA 1.0 applications.</source>
        <translation>Показывать собственный интерфейс сканера в приложениях WIA 1.0.</translation>
    </message>
    <message>
        <source>Default settings</source>
        <translation>Параметры по умолчанию</translation>
    </message>
    <message>
        <source>Last used settings</source>
        <translation>Последние параметры</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</source>
        <translation>Этот параметр можно изменить, только если окно свойств сканера открыто из панели управления Windows.</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Для изменения этого параметра нужны права администратора.</translation>
    </message>
    <message>
        <source>Attention!</source>
        <translation>Внимание!</translation>
    </message>
    <message>
        <source>This will change WIA driver behaviour. Do you want to continue?</source>
        <translation>Это изменит поведение драйвера WIA. Продолжить?</translation>
    </message>
    <message>
        <source>Power cycle the scanner and click OK.</source>
        <translation>Выключите и снова включите сканер, затем нажмите OK.</translation>
    </message>
</context>
</TS>
