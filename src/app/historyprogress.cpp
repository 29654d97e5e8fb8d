#include "historyprogress.h"

#include "frame.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

// The window's texts, whoever shows them.
QString Tr(const char *text)
{
    return QCoreApplication::translate("PM2_5", text);
}

} // namespace

HistoryProgress::HistoryProgress(QWidget *parent, int passes)
    : m_Dialog(Tr("Reading history data..."), Tr("Cancel"), 0, 0, parent), m_Passes(passes)
{
    m_Dialog.setWindowModality(Qt::WindowModal);
    m_Dialog.setMinimumDuration(0);
    m_Dialog.setAutoClose(false);
    m_Dialog.setAutoReset(false);
    m_Dialog.setValue(0);
}

bool HistoryProgress::Update(int kind, int done, int total)
{
    const int before = m_Passes == 2 && kind != HIS_SUB_PM10 ? total : 0;
    if (total > 0) {
        m_Dialog.setMaximum(m_Passes * total);
        m_Dialog.setLabelText(Tr("Reading history data: page %1 of %2")
                                  .arg(before + done)
                                  .arg(m_Passes * total));
    }
    // While the second pass waits for its page 0 (its total not known yet) the bar stays where
    // the first pass left it.
    m_Dialog.setValue(std::max(m_Dialog.value(), before + done));
    return !m_Dialog.wasCanceled();
}
