#pragma once
// Interim stand-in; replaced by the full control.
#include <QWidget>
#include <QString>
namespace ui {
class CDeviceOptionUI : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetDevice(QWidget* d) { m_device = d; }
    QWidget* Device() const { return m_device; }
    void SetKind(int type, int variant) { m_type = type; m_variant = variant; }
    void SetOptionIndex(int i) { m_option = i; }
    int OptionIndex() const { return m_option; }
    void SetPageIndex(int i) { m_page = i; }
    int PageIndex() const { return m_page; }
    void SetPowerIndex(int i) { m_power = i; }
    int PowerIndex() const { return m_power; }
    void SetState(int s) { m_state = s; }
    int State() const { return m_state; }
    void SetSelected(bool s, bool notify) { (void)notify; m_selected = s; }
    bool IsSelected() const { return m_selected; }
    void SetStatusText(const QString& t) { m_status = t; }
    int LinkFailures() const { return m_fail; }
    void SetLinkFailures(int n) { m_fail = n; }
private:
    QWidget* m_device = nullptr; int m_type = 0, m_variant = 0, m_option = 0, m_page = 0, m_power = -1, m_state = 0, m_fail = 0; bool m_selected = false; QString m_status;
};
}
