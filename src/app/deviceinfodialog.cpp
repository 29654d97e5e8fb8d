#include "deviceinfodialog.h"
#include "ui_deviceinfodialog.h"

#include "pm2_5.h"

DeviceInfoDialog::DeviceInfoDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DeviceInfoDialog)
{
    ui->setupUi(this);
}

DeviceInfoDialog::~DeviceInfoDialog()
{
    delete ui;
}

void DeviceInfoDialog::SetDeviceInfo(int index, PM2_5 *main)
{
    m_pMain = main;
    m_Index = index;
    const SCodeUsb &link = main->m_CodeUsb;
    if (index < 0 || index >= int(link.m_DevList.size()))
        return; // both labels keep their form text
    ui->labelSN->setText(QString::fromLatin1(link.GetDevSerial(index)).toUpper());
    ui->labelDeviceName->setText(QString::fromLatin1(link.GetDevName(index)));
}

void DeviceInfoDialog::on_pushButton_clicked()
{
    close();
}
