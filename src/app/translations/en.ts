<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>PM2_5</name>
    <message>
        <source>Quelmar Air Quality Monitor V5.9</source>
        <translation>Quelmar Air Quality Monitor V5.9</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>&amp;Chinese</source>
        <translation>&amp;Chinese</translation>
    </message>
    <message>
        <source>Translate into Chinese</source>
        <translation>Translate into Chinese</translation>
    </message>
    <message>
        <source>&amp;English</source>
        <translation>&amp;English</translation>
    </message>
    <message>
        <source>Translate into English</source>
        <translation>Translate into English</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>Open records</source>
        <translation>Open records</translation>
    </message>
    <message>
        <source>Display &amp;all</source>
        <translation>Display &amp;all</translation>
    </message>
    <message>
        <source>Continue reading the current value</source>
        <translation>Continue reading the current value</translation>
    </message>
    <message>
        <source>Time zoom &amp;in</source>
        <translation>Time zoom &amp;in</translation>
    </message>
    <message>
        <source>Time(x axis) zoom in</source>
        <translation>Time(x axis) zoom in</translation>
    </message>
    <message>
        <source>Time zoom &amp;out</source>
        <translation>Time zoom &amp;out</translation>
    </message>
    <message>
        <source>Time(x axis) zoom out</source>
        <translation>Time(x axis) zoom out</translation>
    </message>
    <message>
        <source>About &amp;Software</source>
        <translation>About &amp;Software</translation>
    </message>
    <message>
        <source>&amp;Nodisplay</source>
        <translation>&amp;No display</translation>
    </message>
    <message>
        <source>&amp;Stop Collect</source>
        <translation>&amp;Stop Collect</translation>
    </message>
    <message>
        <source>Set the state of collection</source>
        <translation>Set the state of collection</translation>
    </message>
    <message>
        <source>Collect &amp;historical data</source>
        <translation>Collect &amp;historical data</translation>
    </message>
    <message>
        <source>&amp;Binary</source>
        <translation>&amp;Binary file</translation>
    </message>
    <message>
        <source>Save to bin</source>
        <translation>Save to bin file</translation>
    </message>
    <message>
        <source>&amp;Text</source>
        <translation>&amp;Text file</translation>
    </message>
    <message>
        <source>Save to text</source>
        <translation>Save to text file</translation>
    </message>
    <message>
        <source>About &amp;Quelmar</source>
        <translation>About &amp;Quelmar</translation>
    </message>
    <message>
        <source>&amp;Execl</source>
        <translation>&amp;Execl</translation>
    </message>
    <message>
        <source>C&amp;lear history data</source>
        <translation>C&amp;lear history data</translation>
    </message>
    <message>
        <source>AQ-130</source>
        <translation>AQ-130</translation>
    </message>
    <message>
        <source>PM2.5</source>
        <translation>PM2.5</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt;&quot;&gt;ug/m&lt;/span&gt;&lt;span style=&quot; font-size:11pt; vertical-align:super;&quot;&gt;3  &lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PM10</source>
        <translation>PM10</translation>
    </message>
    <message>
        <source>Formaldehyde</source>
        <translation>Formaldehyde</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt;&quot;&gt;mg/m&lt;/span&gt;&lt;span style=&quot; font-size:11pt; vertical-align:super;&quot;&gt;3&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>&amp;Examine</source>
        <translation>&amp;Zoom</translation>
    </message>
    <message>
        <source>&amp;Display</source>
        <translation>&amp;Display</translation>
    </message>
    <message>
        <source>Device&amp;Info</source>
        <translation>Device&amp;Info</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;Collect</source>
        <translation>&amp;Collect</translation>
    </message>
    <message>
        <source>Clearing success</source>
        <translation>Clearing success</translation>
    </message>
    <message>
        <source>Reading history data...</source>
        <translation>Reading history data...</translation>
    </message>
    <message>
        <source>Finish reading history data.</source>
        <translation>Finish reading history data.</translation>
    </message>
    <message>
        <source>History download stopped: %1 values kept.</source>
        <translation>History download stopped: %1 values kept.</translation>
    </message>
    <message>
        <source>Recovery files could not be written to %1</source>
        <translation>Recovery files could not be written to %1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Reading history data: page %1 of %2</source>
        <translation>Reading history data: page %1 of %2</translation>
    </message>
    <message>
        <source>This sensor keeps no history of this channel.</source>
        <translation>This sensor keeps no history of this channel.</translation>
    </message>
    <message>
        <source>&amp;Start Collect</source>
        <translation>&amp;Start Collect</translation>
    </message>
    <message>
        <source>Software version</source>
        <translation>Software version</translation>
    </message>
    <message>
        <source>Quelmar Air Quality Monitor 5.9</source>
        <translation>Quelmar Air Quality Monitor 5.9</translation>
    </message>
    <message>
        <source>Web site: www.example.com
Contact: Alex Sample (fictitious)
Tel: +00 000 0000 0000
Fax: +00 000 0000 0001
E-mail: contact@example.com</source>
        <translation>Web site: www.example.com
Contact: Alex Sample (fictitious)
Tel: +00 000 0000 0000
Fax: +00 000 0000 0001
E-mail: contact@example.com</translation>
    </message>
    <message>
        <source>open device error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>please check the device is connected!</source>
        <translation>please check the device is connected!</translation>
    </message>
    <message>
        <source>Please check the device is connected!</source>
        <translation>Please check the device is connected!</translation>
    </message>
    <message>
        <source>File open failed!</source>
        <translation>File open failed!</translation>
    </message>
    <message>
        <source>Open the file</source>
        <translation>Open the file</translation>
    </message>
    <message>
        <source>Save the file</source>
        <translation>Save the file</translation>
    </message>
    <message>
        <source>Str files (*.str)</source>
        <translation>Str files (*.str)</translation>
    </message>
    <message>
        <source>Execl files (*.xls)</source>
        <translation>Execl files (*.xls)</translation>
    </message>
    <message>
        <source>Str or excel files (*.str *.xls)</source>
        <translation>Str or excel files (*.str *.xls)</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Save &amp;history to bin</source>
        <translation>Save &amp;history to bin</translation>
    </message>
    <message>
        <source>Keep the downloaded history as a record file</source>
        <translation>Keep the downloaded history as a record file</translation>
    </message>
    <message>
        <source>Plot &amp;picture...</source>
        <translation>Plot &amp;picture...</translation>
    </message>
    <message>
        <source>Save the plot as a PNG, SVG or PDF picture</source>
        <translation>Save the plot as a PNG, SVG or PDF picture</translation>
    </message>
    <message>
        <source>&amp;Copy plot</source>
        <translation>&amp;Copy plot</translation>
    </message>
    <message>
        <source>Put a picture of the plot on the clipboard</source>
        <translation>Put a picture of the plot on the clipboard</translation>
    </message>
    <message>
        <source>Save the plot as a picture</source>
        <translation>Save the plot as a picture</translation>
    </message>
    <message>
        <source>Pictures (*.png *.svg *.pdf)</source>
        <translation>Pictures (*.png *.svg *.pdf)</translation>
    </message>
    <message>
        <source>Choose a name that ends in .png, .svg or .pdf.</source>
        <translation>Choose a name that ends in .png, .svg or .pdf.</translation>
    </message>
    <message>
        <source>Picture size</source>
        <translation>Picture size</translation>
    </message>
    <message>
        <source>Width x height in pixels (100 to 10000):</source>
        <translation>Width x height in pixels (100 to 10000):</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no size between 100 and 10000 pixels.</source>
        <translation>&quot;%1&quot; is no size between 100 and 10000 pixels.</translation>
    </message>
    <message>
        <source>The plot is on the clipboard.</source>
        <translation>The plot is on the clipboard.</translation>
    </message>
    <message>
        <source>C&amp;SV</source>
        <translation>C&amp;SV</translation>
    </message>
    <message>
        <source>Save the shown values as comma-separated text for other programs</source>
        <translation>Save the shown values as comma-separated text for other programs</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>Sp&amp;readsheet (.xlsx)</source>
        <translation>Sp&amp;readsheet (.xlsx)</translation>
    </message>
    <message>
        <source>Save the shown values as a spreadsheet, one sheet per day</source>
        <translation>Save the shown values as a spreadsheet, one sheet per day</translation>
    </message>
    <message>
        <source>Spreadsheets (*.xlsx)</source>
        <translation>Spreadsheets (*.xlsx)</translation>
    </message>
    <message>
        <source>Str, excel or CSV files (*.str *.xls *.csv)</source>
        <translation>Str, excel or CSV files (*.str *.xls *.csv)</translation>
    </message>
    <message>
        <source>It is not a CSV of records this program reads: %1</source>
        <translation>It is not a CSV of records this program reads: %1</translation>
    </message>
    <message>
        <source>&amp;Earlier</source>
        <translation>&amp;Earlier</translation>
    </message>
    <message>
        <source>Move the view back in time</source>
        <translation>Move the view back in time</translation>
    </message>
    <message>
        <source>&amp;Later</source>
        <translation>&amp;Later</translation>
    </message>
    <message>
        <source>Move the view on in time</source>
        <translation>Move the view on in time</translation>
    </message>
    <message>
        <source>&amp;First sample</source>
        <translation>&amp;First sample</translation>
    </message>
    <message>
        <source>Show the start of the recording</source>
        <translation>Show the start of the recording</translation>
    </message>
    <message>
        <source>Ne&amp;west sample</source>
        <translation>Ne&amp;west sample</translation>
    </message>
    <message>
        <source>Show the newest samples and follow them</source>
        <translation>Show the newest samples and follow them</translation>
    </message>
    <message>
        <source>&amp;Fit values to the window</source>
        <translation>&amp;Fit values to the window</translation>
    </message>
    <message>
        <source>Scale the value axis to the values shown</source>
        <translation>Scale the value axis to the values shown</translation>
    </message>
    <message>
        <source>Air-&amp;quality index</source>
        <translation>Air-&amp;quality index</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>&amp;Language</translation>
    </message>
    <message>
        <source>&amp;China, HJ 633-2012</source>
        <translation>&amp;China, HJ 633-2012</translation>
    </message>
    <message>
        <source>&amp;US EPA, 2024</source>
        <translation>&amp;US EPA, 2024</translation>
    </message>
    <message>
        <source>USB: %1</source>
        <translation>USB: %1</translation>
    </message>
    <message>
        <source>Serial: %1</source>
        <translation>Serial: %1</translation>
    </message>
    <message>
        <source>No sensor: waiting for one</source>
        <translation>No sensor: waiting for one</translation>
    </message>
    <message>
        <source>AQI %1</source>
        <translation>AQI %1</translation>
    </message>
    <message>
        <source>Provisional: fewer than 45 of the last 60 minutes have samples.</source>
        <translation>Provisional: fewer than 45 of the last 60 minutes have samples.</translation>
    </message>
    <message>
        <source>Provisional: the NowCast needs two of the last three clock hours, each with 45 minutes of samples; this is the mean of the last 60 minutes.</source>
        <translation>Provisional: the NowCast needs two of the last three clock hours, each with 45 minutes of samples; this is the mean of the last 60 minutes.</translation>
    </message>
    <message>
        <source>About Quelmar</source>
        <translation>About Quelmar</translation>
    </message>
    <message>
        <source>A sensor is attached but could not be opened: another program may hold it, or this user may not use it. For a USB sensor install the package&#x27;s udev rule; for the USB-serial bridge join the dialout group (sudo adduser $USER dialout) and log in again. The README&#x27;s section &quot;Running with a real sensor&quot; says more.</source>
        <translation>A sensor is attached but could not be opened: another program may hold it, or this user may not use it. For a USB sensor install the package&#x27;s udev rule; for the USB-serial bridge join the dialout group (sudo adduser $USER dialout) and log in again. The README&#x27;s section &quot;Running with a real sensor&quot; says more.</translation>
    </message>
    <message>
        <source>It could not be read whole (or memory ran short).</source>
        <translation>It could not be read whole (or memory ran short).</translation>
    </message>
    <message>
        <source>It could not be read: %1</source>
        <translation>It could not be read: %1</translation>
    </message>
    <message>
        <source>It could not be written: %1</source>
        <translation>It could not be written: %1</translation>
    </message>
    <message>
        <source>It holds fewer records than its header says: it is damaged or cut short.</source>
        <translation>It holds fewer records than its header says: it is damaged or cut short.</translation>
    </message>
    <message>
        <source>It holds the second channel, which this sensor does not have.</source>
        <translation>It holds the second channel, which this sensor does not have.</translation>
    </message>
    <message>
        <source>It is not a record file (its header is missing or impossible).</source>
        <translation>It is not a record file (its header is missing or impossible).</translation>
    </message>
    <message>
        <source>It is not a text this program can import: it begins with a line &quot;Date:yyyy.mm.dd-...&quot; and a line &quot;Data Count:N&quot;, then a line with &quot;number&quot; and &quot;time&quot;, then a row for each record.</source>
        <translation>It is not a text this program can import: it begins with a line &quot;Date:yyyy.mm.dd-...&quot; and a line &quot;Data Count:N&quot;, then a line with &quot;number&quot; and &quot;time&quot;, then a row for each record.</translation>
    </message>
    <message>
        <source>It is too large for a text of records.</source>
        <translation>It is too large for a text of records.</translation>
    </message>
    <message>
        <source>Its channel word names no channel of this program.</source>
        <translation>Its channel word names no channel of this program.</translation>
    </message>
    <message>
        <source>There is not enough memory to show it.</source>
        <translation>There is not enough memory to show it.</translation>
    </message>
    <message>
        <source>There is nothing to save.</source>
        <translation>There is nothing to save.</translation>
    </message>
    <message>
        <source>no permission</source>
        <translation>no permission</translation>
    </message>
    <message>
        <source>no rows</source>
        <translation>no rows</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>no such file</translation>
    </message>
</context>
<context>
    <name>DeviceInfoDialog</name>
    <message>
        <source>DeviceInfo</source>
        <translation>DeviceInfo</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>SN</source>
        <translation>Serial number：</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device name</source>
        <translation>Device name：</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Formaldehyde mg/m3</source>
        <translation>Formaldehyde mg/m3</translation>
    </message>
    <message>
        <source>PM2.5  ug/m3</source>
        <translation>PM2.5  ug/m3</translation>
    </message>
    <message>
        <source>PM2.5 ug/m3</source>
        <translation>PM2.5 ug/m3</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>time</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>TVOC mg/m3</source>
        <translation>TVOC mg/m3</translation>
    </message>
</context>
<context>
    <name>Aqi</name>
    <message>
        <source>Excellent</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Excellent</translation>
    </message>
    <message>
        <source>Good</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Good</translation>
    </message>
    <message>
        <source>Lightly polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Lightly polluted</translation>
    </message>
    <message>
        <source>Moderately polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Moderately polluted</translation>
    </message>
    <message>
        <source>Heavily polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Heavily polluted</translation>
    </message>
    <message>
        <source>Severely polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>Severely polluted</translation>
    </message>
    <message>
        <source>Good</source>
        <comment>US EPA, 2024</comment>
        <translation>Good</translation>
    </message>
    <message>
        <source>Moderate</source>
        <comment>US EPA, 2024</comment>
        <translation>Moderate</translation>
    </message>
    <message>
        <source>Unhealthy for Sensitive Groups</source>
        <comment>US EPA, 2024</comment>
        <translation>Unhealthy for Sensitive Groups</translation>
    </message>
    <message>
        <source>Unhealthy</source>
        <comment>US EPA, 2024</comment>
        <translation>Unhealthy</translation>
    </message>
    <message>
        <source>Very Unhealthy</source>
        <comment>US EPA, 2024</comment>
        <translation>Very Unhealthy</translation>
    </message>
    <message>
        <source>Hazardous</source>
        <comment>US EPA, 2024</comment>
        <translation>Hazardous</translation>
    </message>
</context>
</TS>
