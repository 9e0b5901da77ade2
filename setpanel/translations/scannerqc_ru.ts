<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation>Аппаратная обработка</translation>
    </message>
    <message>
        <source>If the scanner's firmware version is out of date, click this button to update the scanner</source>
        <translation>Если версия микропрограммы сканера устарела, нажмите эту кнопку, чтобы обновить сканер</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation>Этот параметр можно изменить, только если окно свойств сканера открыто из панели управления Windows</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Для изменения этого параметра нужны права администратора.</translation>
    </message>
    <message>
        <source>Error Occurred</source>
        <translation>Произошла ошибка</translation>
    </message>
    <message>
        <source>The scanner is in use by another application.</source>
        <translation>Сканер используется другим приложением.</translation>
    </message>
    <message>
        <source>No connection with device</source>
        <translation>Нет связи с устройством</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been replaced</source>
        <translation>Сбросить счётчик в 0 после замены роликов</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been cleaned</source>
        <translation>Сбросить счётчик в 0 после чистки роликов</translation>
    </message>
    <message>
        <source>Reset the scan count to zero</source>
        <translation>Сбросить счётчик в ноль</translation>
    </message>
    <message>
        <source>Display a notification when it is time to clean or replace the rollers</source>
        <translation>Показывать уведомление, когда пора чистить или заменять ролики</translation>
    </message>
    <message>
        <source>You need administrative privileges to reset this counter</source>
        <translation>Для сброса этого счётчика нужны права администратора</translation>
    </message>
    <message>
        <source>You need administrative privileges to update scanner firmware</source>
        <translation>Для обновления микропрограммы сканера нужны права администратора</translation>
    </message>
    <message>
        <source>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>После замены роликов нажмите кнопку сброса рядом со счётчиком «%1», чтобы обнулить его. После этого сообщение больше не будет показываться.</translation>
    </message>
    <message>
        <source>The rollers need to be replaced</source>
        <translation>Необходимо заменить ролики</translation>
    </message>
    <message>
        <source>The rollers need to be cleaned</source>
        <translation>Необходимо почистить ролики</translation>
    </message>
    <message>
        <source>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>После чистки роликов нажмите кнопку сброса рядом со счётчиком «%1», чтобы обнулить его. После этого сообщение больше не будет показываться.</translation>
    </message>
    <message>
        <source>This value cannot be adjusted</source>
        <translation>Это значение нельзя изменить</translation>
    </message>
    <message>
        <source>This value cannot be set</source>
        <translation>Это значение нельзя сохранить</translation>
    </message>
    <message>
        <source>This value cannot be reset</source>
        <translation>Это значение нельзя сбросить</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Никогда</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it goes into sleep mode</source>
        <translation>Введите, сколько минут сканер должен ждать перед переходом в спящий режим</translation>
    </message>
    <message>
        <source>Save any changes in the sleep mode field</source>
        <translation>Сохранить изменения в поле «Спящий режим»</translation>
    </message>
    <message>
        <source>Reset to the default sleep mode timeout</source>
        <translation>Восстановить время перехода в спящий режим по умолчанию</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it turns itself off</source>
        <translation>Введите, сколько минут сканер должен ждать перед выключением</translation>
    </message>
    <message>
        <source>Save any changes in the power off field</source>
        <translation>Сохранить изменения в поле «Выключение»</translation>
    </message>
    <message>
        <source>Reset to the default power off timeout</source>
        <translation>Восстановить время выключения по умолчанию</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation>Свойства</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Параметры устройства</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>Версия микропрограммы:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Серийный номер:</translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation>Версия LLD:</translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation>Версия драйвера:</translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation>Первое сканирование:</translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation>Обслуживание</translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation>Счётчик подающего ролика:</translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation>Счётчик ролика отделения:</translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation>После последней чистки:</translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation>Всего отсканировано страниц:</translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation>Из АПД (одностороннее):</translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation>Из АПД (двустороннее):</translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation>Мультиподача:</translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation>Замятие:</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Сбросить</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Применить</translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation>&amp;Показывать напоминания об обслуживании</translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation>Проверять обновление &amp;микропрограммы</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation>Параметры питания</translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation>&amp;Спящий режим:</translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation>&amp;Выключение:</translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation>Отключение &amp;USB:</translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation> мин.</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation>Аппаратная обработка</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Фильтр</translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation>Уменьшение глубины цвета</translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation>Обрезка по оригиналу &amp;&amp; выравнивание</translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation>Подавление муара</translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation>Поворот изображения</translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation>Пропускать пустые страницы</translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation>Включить этот параметр аппаратной обработки изображений</translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation>Параметры устройства</translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation>Параметры драйвера</translation>
    </message>
</context>
</TS>
