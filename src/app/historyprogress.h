#pragma once
// The history download's progress: a window-modal dialog that can cancel, pages counted over
// both passes of a download with PM10, so the bar never goes back.
#include <QProgressDialog>

class HistoryProgress
{
public:
    // passes: 2 when a PM10 pass comes first.
    HistoryProgress(QWidget *parent, int passes);

    // The download's progress call: false when the user cancelled. Runs pending events.
    bool Update(int kind, int done, int total);
    QProgressDialog &Dialog() { return m_Dialog; }

private:
    QProgressDialog m_Dialog;
    int m_Passes;
};
