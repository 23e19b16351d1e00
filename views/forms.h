#ifndef VIEWS_FORMS_H
#define VIEWS_FORMS_H

// The generated forms, for code outside views/ (the tests). Including a
// ui_*.h directly there would make that target's AUTOUIC look for the .ui
// beside the including file and fail; this header is scanned as part of
// triggerio_views instead, which generates the forms once.
#include "ui_advtriggerdialog.h"
#include "ui_advtriggerwidget.h"

#endif
