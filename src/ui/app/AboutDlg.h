#pragma once
/// CAboutDlg: "O programie Zefirel" — the program version, the controller's version
/// and the list of its features (or "Brak połączenia" without a controller).

#include <QDialog>
#include <QStringList>
#include <cstdint>

class QLineEdit;
class QListWidget;

namespace zefirel {

class CLPGDevice;

/// The feature texts of every bit set in the mask, in bit order.
QStringList featureTexts(uint32_t featureMask);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    /// device: the current document's controller, or null when there is no document.
    explicit CAboutDlg(CLPGDevice* device, QWidget* parent = nullptr);
    QString versionText() const;
    QStringList details() const;

private:
    void fill(CLPGDevice* device);
    /// Reads the version and feature records into the fields; port errors pass.
    void readController(CLPGDevice& device);
    QLineEdit* m_version;
    QListWidget* m_details;
};

} // namespace zefirel
