#pragma once
/// CLPGDevVersionDlg: the service dialog "Wersja urządzenia" that shows and rewrites
/// the controller's version record: the programming date, the firmware version, the
/// injector count and the controller identity.

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace zefirel {

class CLPGDevice;

class CLPGDevVersionDlg : public QDialog {
    Q_OBJECT
public:
    /// Builds the dialog with today's date, version 0 and 4 injectors, then reads
    /// the record from the controller.
    explicit CLPGDevVersionDlg(CLPGDevice& device, QWidget* parent = nullptr);

    /// "Wczytaj": up to 10 tries; false (after its message) when all failed.
    bool onRead();
    /// "Wpisz": false when nothing was written (a date text that is not 10
    /// characters long is ignored without a message).
    bool onWrite();

signals:
    /// A line for the status bar: the version record was written to the controller.
    void notice(const QString& text);

private:
    CLPGDevice& m_device;
    QLineEdit* m_date;
    QSpinBox* m_version;
    QSpinBox* m_injectors;
    QLineEdit* m_identity;
};

} // namespace zefirel
