#pragma once
/// CInjSeqTypeDlg: the information window "Opis zachowania sterownika LPG" that
/// explains the three petrol injection modes the settings dialog offers. It only
/// shows its texts.

#include <QDialog>

namespace zefirel {

class CInjSeqTypeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CInjSeqTypeDlg(QWidget* parent = nullptr);
};

} // namespace zefirel
