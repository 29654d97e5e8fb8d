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
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Chinese</source>
        <translation>中文</translation>
    </message>
    <message>
        <source>Translate into Chinese</source>
        <translation>切换为中文</translation>
    </message>
    <message>
        <source>English</source>
        <translation>英文</translation>
    </message>
    <message>
        <source>Translate into English</source>
        <translation>切换为英文</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Open records</source>
        <translation>打开记录文件</translation>
    </message>
    <message>
        <source>Display all</source>
        <translation>显示全部</translation>
    </message>
    <message>
        <source>Continue reading the current value</source>
        <translation>继续读取当前值</translation>
    </message>
    <message>
        <source>Time zoom in</source>
        <translation>时间放大</translation>
    </message>
    <message>
        <source>Time(x axis) zoom in</source>
        <translation>时间轴（X轴）放大</translation>
    </message>
    <message>
        <source>Time zoom out</source>
        <translation>时间缩小</translation>
    </message>
    <message>
        <source>Time(x axis) zoom out</source>
        <translation>时间轴（X轴）缩小</translation>
    </message>
    <message>
        <source>About Software</source>
        <translation>关于软件</translation>
    </message>
    <message>
        <source>Nodisplay</source>
        <translation>不显示</translation>
    </message>
    <message>
        <source>Stop Collect</source>
        <translation>停止采集</translation>
    </message>
    <message>
        <source>Set the state of collection</source>
        <translation>设置采集状态</translation>
    </message>
    <message>
        <source>Collect historical data</source>
        <translation>采集历史数据</translation>
    </message>
    <message>
        <source>Binary</source>
        <translation>二进制文件</translation>
    </message>
    <message>
        <source>Save to bin</source>
        <translation>保存为二进制文件</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>文本文件</translation>
    </message>
    <message>
        <source>Save to text</source>
        <translation>保存为文本文件</translation>
    </message>
    <message>
        <source>About Quelmar</source>
        <translation>关于 Quelmar</translation>
    </message>
    <message>
        <source>Execl</source>
        <translation>导出Excel</translation>
    </message>
    <message>
        <source>Clear history data</source>
        <translation>清除历史数据</translation>
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
        <source>File</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Examine</source>
        <translation>缩放</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>DeviceInfo</source>
        <translation>设备信息</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>Collect</source>
        <translation>采集</translation>
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
        <source>Start Collect</source>
        <translation>开始采集</translation>
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
</context>
</TS>
