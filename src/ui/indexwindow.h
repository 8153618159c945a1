// frmIndex: the devices of the database with family and sizes. Modal.
#pragma once

#include <QDialog>

#include "session/session.h"

namespace vx {

class IndexWindow : public QDialog {
    Q_OBJECT
public:
    IndexWindow(const Session& s, QWidget* parent);
};

}  // namespace vx
