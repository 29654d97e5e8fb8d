#pragma once
// Shows one device's identity text and serial number.
#include <QDialog>

class PM2_5;

namespace Ui {
class DeviceInfoDialog;
}

class DeviceInfoDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DeviceInfoDialog(QWidget *parent = nullptr);
    ~DeviceInfoDialog() override;

    void SetDeviceInfo(int index, PM2_5 *main);

    Ui::DeviceInfoDialog *ui;
    PM2_5 *m_pMain = nullptr;
    int m_Index = 0;

private slots:
    void on_pushButton_clicked();
};
