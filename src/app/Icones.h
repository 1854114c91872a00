#pragma once

#include <QIcon>

// The window's icon: an integrated circuit, at 16, 32 and 48 pixels.
QIcon iconePuce();

// The clear button's picture: a waste bin with green recycling arrows.
QIcon iconeCorbeille();
