#include "reader/drawing.h"

Drawing::Drawing() : references{}, source{}
{
    EmptyDocumentSettings(&header);
    DefaultSettingTables(&tables);
}
