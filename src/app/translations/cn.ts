<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>PM2_5</name>
    <message>
        <source>Quelmar Air Quality Monitor V5.9</source>
        <translation>Quelmar 空气质量监测仪 V5.9</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>&amp;Chinese</source>
        <translation>中文(&amp;C)</translation>
    </message>
    <message>
        <source>Translate into Chinese</source>
        <translation>切换为中文</translation>
    </message>
    <message>
        <source>&amp;English</source>
        <translation>English(&amp;E)</translation>
    </message>
    <message>
        <source>Translate into English</source>
        <translation>切换为英文</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>打开(&amp;O)</translation>
    </message>
    <message>
        <source>Open records</source>
        <translation>打开记录文件</translation>
    </message>
    <message>
        <source>Display &amp;all</source>
        <translation>显示全部(&amp;A)</translation>
    </message>
    <message>
        <source>Continue reading the current value</source>
        <translation>继续读取当前值</translation>
    </message>
    <message>
        <source>Time zoom &amp;in</source>
        <translation>时间放大(&amp;I)</translation>
    </message>
    <message>
        <source>Time(x axis) zoom in</source>
        <translation>时间轴（X轴）放大</translation>
    </message>
    <message>
        <source>Time zoom &amp;out</source>
        <translation>时间缩小(&amp;O)</translation>
    </message>
    <message>
        <source>Time(x axis) zoom out</source>
        <translation>时间轴（X轴）缩小</translation>
    </message>
    <message>
        <source>About &amp;Software</source>
        <translation>关于软件(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Nodisplay</source>
        <translation>不显示(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Stop Collect</source>
        <translation>停止采集(&amp;S)</translation>
    </message>
    <message>
        <source>Set the state of collection</source>
        <translation>设置采集状态</translation>
    </message>
    <message>
        <source>Collect &amp;historical data</source>
        <translation>采集历史数据(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Binary</source>
        <translation>二进制文件(&amp;B)</translation>
    </message>
    <message>
        <source>Save to bin</source>
        <translation>保存为二进制文件</translation>
    </message>
    <message>
        <source>&amp;Text</source>
        <translation>文本文件(&amp;T)</translation>
    </message>
    <message>
        <source>Save to text</source>
        <translation>保存为文本文件</translation>
    </message>
    <message>
        <source>About &amp;Quelmar</source>
        <translation>关于 Quelmar(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Execl</source>
        <translation>导出Excel(&amp;E)</translation>
    </message>
    <message>
        <source>C&amp;lear history data</source>
        <translation>清除历史数据(&amp;L)</translation>
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
        <translation>甲醛</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:11pt;&quot;&gt;mg/m&lt;/span&gt;&lt;span style=&quot; font-size:11pt; vertical-align:super;&quot;&gt;3&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>保存(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Examine</source>
        <translation>缩放(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Display</source>
        <translation>显示(&amp;D)</translation>
    </message>
    <message>
        <source>Device&amp;Info</source>
        <translation>设备信息(&amp;I)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Collect</source>
        <translation>采集(&amp;C)</translation>
    </message>
    <message>
        <source>Clearing success</source>
        <translation>清除成功</translation>
    </message>
    <message>
        <source>Reading history data...</source>
        <translation>正在读取历史数据...</translation>
    </message>
    <message>
        <source>Finish reading history data.</source>
        <translation>历史数据读取完成。</translation>
    </message>
    <message>
        <source>History download stopped: %1 values kept.</source>
        <translation>历史数据读取已停止：保留了 %1 个数据。</translation>
    </message>
    <message>
        <source>Recovery files could not be written to %1</source>
        <translation>无法将恢复文件写入 %1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Reading history data: page %1 of %2</source>
        <translation>正在读取历史数据：第 %1 页，共 %2 页</translation>
    </message>
    <message>
        <source>This sensor keeps no history of this channel.</source>
        <translation>该设备不保存此通道的历史数据。</translation>
    </message>
    <message>
        <source>&amp;Start Collect</source>
        <translation>开始采集(&amp;S)</translation>
    </message>
    <message>
        <source>Software version</source>
        <translation>软件版本</translation>
    </message>
    <message>
        <source>Quelmar Air Quality Monitor 5.9</source>
        <translation>Quelmar 空气质量监测仪 5.9</translation>
    </message>
    <message>
        <source>Web site: www.example.com
Contact: Alex Sample (fictitious)
Tel: +00 000 0000 0000
Fax: +00 000 0000 0001
E-mail: contact@example.com</source>
        <translation>网址：www.example.com
联系人：Alex Sample (fictitious)
电话：+00 000 0000 0000
传真：+00 000 0000 0001
电子邮件：contact@example.com</translation>
    </message>
    <message>
        <source>open device error</source>
        <translation>打开设备出错</translation>
    </message>
    <message>
        <source>please check the device is connected!</source>
        <translation>请检查设备是否已连接！</translation>
    </message>
    <message>
        <source>Please check the device is connected!</source>
        <translation>请检查设备是否已连接！</translation>
    </message>
    <message>
        <source>File open failed!</source>
        <translation>文件打开失败！</translation>
    </message>
    <message>
        <source>Open the file</source>
        <translation>打开文件</translation>
    </message>
    <message>
        <source>Save the file</source>
        <translation>保存文件</translation>
    </message>
    <message>
        <source>Str files (*.str)</source>
        <translation>Str 文件 (*.str)</translation>
    </message>
    <message>
        <source>Execl files (*.xls)</source>
        <translation>Excel 文件 (*.xls)</translation>
    </message>
    <message>
        <source>Str or excel files (*.str *.xls)</source>
        <translation>Str 或 Excel 文件 (*.str *.xls)</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Save &amp;history to bin</source>
        <translation>保存历史为bin(&amp;H)</translation>
    </message>
    <message>
        <source>Keep the downloaded history as a record file</source>
        <translation>将下载的历史数据保存为记录文件</translation>
    </message>
    <message>
        <source>Plot &amp;picture...</source>
        <translation>图表图片(&amp;P)...</translation>
    </message>
    <message>
        <source>Save the plot as a PNG, SVG or PDF picture</source>
        <translation>将图表保存为 PNG、SVG 或 PDF 图片</translation>
    </message>
    <message>
        <source>&amp;Copy plot</source>
        <translation>复制图表(&amp;C)</translation>
    </message>
    <message>
        <source>Put a picture of the plot on the clipboard</source>
        <translation>将图表图片放到剪贴板</translation>
    </message>
    <message>
        <source>Save the plot as a picture</source>
        <translation>将图表保存为图片</translation>
    </message>
    <message>
        <source>Pictures (*.png *.svg *.pdf)</source>
        <translation>图片 (*.png *.svg *.pdf)</translation>
    </message>
    <message>
        <source>Choose a name that ends in .png, .svg or .pdf.</source>
        <translation>请选择以 .png、.svg 或 .pdf 结尾的文件名。</translation>
    </message>
    <message>
        <source>Picture size</source>
        <translation>图片大小</translation>
    </message>
    <message>
        <source>Width x height in pixels (100 to 10000):</source>
        <translation>宽 x 高，单位像素（100 到 10000）：</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no size between 100 and 10000 pixels.</source>
        <translation>“%1”不是 100 到 10000 像素之间的大小。</translation>
    </message>
    <message>
        <source>The plot is on the clipboard.</source>
        <translation>图表已复制到剪贴板。</translation>
    </message>
    <message>
        <source>C&amp;SV</source>
        <translation>CSV(&amp;S)</translation>
    </message>
    <message>
        <source>Save the shown values as comma-separated text for other programs</source>
        <translation>将显示的数值保存为逗号分隔的文本，供其他程序使用</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Sp&amp;readsheet (.xlsx)</source>
        <translation>电子表格 .xlsx(&amp;R)</translation>
    </message>
    <message>
        <source>Save the shown values as a spreadsheet, one sheet per day</source>
        <translation>将显示的数值保存为电子表格，每天一个工作表</translation>
    </message>
    <message>
        <source>Spreadsheets (*.xlsx)</source>
        <translation>电子表格 (*.xlsx)</translation>
    </message>
    <message>
        <source>Str, excel or CSV files (*.str *.xls *.csv)</source>
        <translation>Str、Excel 或 CSV 文件 (*.str *.xls *.csv)</translation>
    </message>
    <message>
        <source>It is not a CSV of records this program reads: %1</source>
        <translation>不是本程序可读取的 CSV 记录：%1</translation>
    </message>
    <message>
        <source>&amp;Earlier</source>
        <translation>更早(&amp;E)</translation>
    </message>
    <message>
        <source>Move the view back in time</source>
        <translation>视图移向较早的时间</translation>
    </message>
    <message>
        <source>&amp;Later</source>
        <translation>更晚(&amp;L)</translation>
    </message>
    <message>
        <source>Move the view on in time</source>
        <translation>视图移向较晚的时间</translation>
    </message>
    <message>
        <source>&amp;First sample</source>
        <translation>第一个样本(&amp;F)</translation>
    </message>
    <message>
        <source>Show the start of the recording</source>
        <translation>显示记录的开头</translation>
    </message>
    <message>
        <source>Ne&amp;west sample</source>
        <translation>最新样本(&amp;W)</translation>
    </message>
    <message>
        <source>Show the newest samples and follow them</source>
        <translation>显示并跟随最新样本</translation>
    </message>
    <message>
        <source>&amp;Fit values to the window</source>
        <translation>数值适应窗口(&amp;F)</translation>
    </message>
    <message>
        <source>Scale the value axis to the values shown</source>
        <translation>按显示的数值缩放数值轴</translation>
    </message>
    <message>
        <source>Air-&amp;quality index</source>
        <translation>空气质量指数(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Language</source>
        <translation>语言(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;China, HJ 633-2012</source>
        <translation>中国 HJ 633-2012(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;US EPA, 2024</source>
        <translation>美国 EPA 2024(&amp;U)</translation>
    </message>
    <message>
        <source>USB: %1</source>
        <translation>USB：%1</translation>
    </message>
    <message>
        <source>Serial: %1</source>
        <translation>串口：%1</translation>
    </message>
    <message>
        <source>No sensor: waiting for one</source>
        <translation>无传感器：等待连接</translation>
    </message>
    <message>
        <source>AQI %1</source>
        <translation>AQI %1</translation>
    </message>
    <message>
        <source>Provisional: fewer than 45 of the last 60 minutes have samples.</source>
        <translation>暂定值：最近 60 分钟中有数据的不足 45 分钟。</translation>
    </message>
    <message>
        <source>Provisional: the NowCast needs two of the last three clock hours, each with 45 minutes of samples; this is the mean of the last 60 minutes.</source>
        <translation>暂定值：NowCast 需要最近三个整点小时中的两个（每小时至少 45 分钟数据）；此为最近 60 分钟的平均值。</translation>
    </message>
    <message>
        <source>About Quelmar</source>
        <translation>关于 Quelmar</translation>
    </message>
    <message>
        <source>A sensor is attached but could not be opened: another program may hold it, or this user may not use it. For a USB sensor install the package&#x27;s udev rule; for the USB-serial bridge join the dialout group (sudo adduser $USER dialout) and log in again. The README&#x27;s section &quot;Running with a real sensor&quot; says more.</source>
        <translation>已连接传感器，但无法打开：可能被其他程序占用，或当前用户无权使用。USB 传感器请安装软件包中的 udev 规则；USB 串口转换器请加入 dialout 用户组（sudo adduser $USER dialout）并重新登录。详见 README 中的“Running with a real sensor”一节。</translation>
    </message>
    <message>
        <source>It could not be read whole (or memory ran short).</source>
        <translation>无法完整读取（或内存不足）。</translation>
    </message>
    <message>
        <source>It could not be read: %1</source>
        <translation>无法读取：%1</translation>
    </message>
    <message>
        <source>It could not be written: %1</source>
        <translation>无法写入：%1</translation>
    </message>
    <message>
        <source>It holds fewer records than its header says: it is damaged or cut short.</source>
        <translation>记录数少于文件头所述：文件已损坏或不完整。</translation>
    </message>
    <message>
        <source>It holds the second channel, which this sensor does not have.</source>
        <translation>该文件为第二通道数据，而此传感器没有第二通道。</translation>
    </message>
    <message>
        <source>It is not a record file (its header is missing or impossible).</source>
        <translation>不是记录文件（文件头缺失或无效）。</translation>
    </message>
    <message>
        <source>It is not a text this program can import: it begins with a line &quot;Date:yyyy.mm.dd-...&quot; and a line &quot;Data Count:N&quot;, then a line with &quot;number&quot; and &quot;time&quot;, then a row for each record.</source>
        <translation>不是本程序可导入的文本：应以“Date:yyyy.mm.dd-...”行和“Data Count:N”行开头，然后是含“number”和“time”的行，之后每条记录一行。</translation>
    </message>
    <message>
        <source>It is too large for a text of records.</source>
        <translation>文件过大，不是记录文本。</translation>
    </message>
    <message>
        <source>Its channel word names no channel of this program.</source>
        <translation>其通道字不对应本程序的任何通道。</translation>
    </message>
    <message>
        <source>There is not enough memory to show it.</source>
        <translation>内存不足，无法显示。</translation>
    </message>
    <message>
        <source>There is nothing to save.</source>
        <translation>没有可保存的数据。</translation>
    </message>
    <message>
        <source>no permission</source>
        <translation>没有权限</translation>
    </message>
    <message>
        <source>no rows</source>
        <translation>没有数据行</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>文件不存在</translation>
    </message>
</context>
<context>
    <name>DeviceInfoDialog</name>
    <message>
        <source>DeviceInfo</source>
        <translation>设备信息</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>SN</source>
        <translation>序列号：</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>device name</source>
        <translation>设备名称：</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Formaldehyde mg/m3</source>
        <translation>甲醛 mg/m3</translation>
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
        <translation>时间</translation>
    </message>
    <message>
        <source>time</source>
        <translation>时间</translation>
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
        <translation>优</translation>
    </message>
    <message>
        <source>Good</source>
        <comment>China, HJ 633-2012</comment>
        <translation>良</translation>
    </message>
    <message>
        <source>Lightly polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>轻度污染</translation>
    </message>
    <message>
        <source>Moderately polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>中度污染</translation>
    </message>
    <message>
        <source>Heavily polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>重度污染</translation>
    </message>
    <message>
        <source>Severely polluted</source>
        <comment>China, HJ 633-2012</comment>
        <translation>严重污染</translation>
    </message>
    <message>
        <source>Good</source>
        <comment>US EPA, 2024</comment>
        <translation>好</translation>
    </message>
    <message>
        <source>Moderate</source>
        <comment>US EPA, 2024</comment>
        <translation>中等</translation>
    </message>
    <message>
        <source>Unhealthy for Sensitive Groups</source>
        <comment>US EPA, 2024</comment>
        <translation>对敏感人群不健康</translation>
    </message>
    <message>
        <source>Unhealthy</source>
        <comment>US EPA, 2024</comment>
        <translation>不健康</translation>
    </message>
    <message>
        <source>Very Unhealthy</source>
        <comment>US EPA, 2024</comment>
        <translation>非常不健康</translation>
    </message>
    <message>
        <source>Hazardous</source>
        <comment>US EPA, 2024</comment>
        <translation>危险</translation>
    </message>
</context>
</TS>
