// frmHint: the overwrite question before programming a chip that holds code.
#pragma once

class QWidget;

namespace vx {

struct Session;

// Modal; lines from s.view.hintLine0/1. Returns the answer (1 "はい",
// 2 "キャンセル", 3 hint shown then closed, 0 closed at once), also kept in
// s.run.hintAnswer.
int ShowFrmHint(Session& s, QWidget* mainWindow);

}  // namespace vx
