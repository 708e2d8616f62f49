// CConfigMainSheet: the station's configuration pages. For now it tells the operator where
// the settings live and how to change them safely; the pages come in their own change.
#pragma once

#include "app/server_context.h"

#include <QDialog>

#include <string>

namespace orvanta {

class CConfigMainSheet : public QDialog {
    Q_OBJECT

public:
    CConfigMainSheet(CServerContext& context, const std::string& caption, QWidget* parent,
                     int firstPage);

    int FirstPage() const { return m_firstPage; }

private:
    CServerContext& m_context;
    int m_firstPage;
};

}  // namespace orvanta
