// The component library's string table: ids 3 to 19 in English (1033), Spanish (1034) and
// Portuguese of Brazil (1046). Trailing blanks are part of the texts.
#include <QLocale>
#include <QStringList>

#include <algorithm>

#include "controls/Conversions.h"

namespace Varnel {

namespace {

constexpr int kFirstId = 3;
constexpr int kLastId = 19;
constexpr int kIds = kLastId - kFirstId + 1;

constexpr const char16_t* kEnglish[kIds] = {
    u"Volume",
    u"Value",
    u"Water ",
    u"Level ",
    u"Ullage ",
    u"Grade",
    u"Attendant",
    u"Client",
    u"Hose",
    u"Tag",
    u"Flow rate",
    u"Reading",
    u"Delivery",
    u"Are you sure you want to add a tank delivery of %0.0fL ?\nThe new tank volume will be %0.0fL",
    u"Are you sure you want to set the tank volume to %0.0fL ?",
    u"This tank delivery of %0.0fL is invalid,\nThe new tank volume of %0.0fL\n would be more than the tank "
    u"capacity of %0.0fL.",
    u"This reading of %0.0fL is invalid,\nIt must be more than zero,\n and less than the tank capacity of %0.0fL.",
};

constexpr const char16_t* kSpanish[kIds] = {
    u"Volumen",
    u"Valor",
    u"Agua ",
    u"Nivel ",
    u"Merma ",
    u"Producto",
    u"Vendedor",
    u"Cliente",
    u"Manguera",
    u"Tag",
    u"Fluxo L/m",
    u"Leitura",
    u"Entrega",
    u"¿Estás seguro de que deseas añadir un envío de %0.0fL ?\n El nuevo volumen será de %0.0fL",
    u"¿Estás seguro de configurar el volumen  %0.0fL ?",
    u"Esta entrega de tanque de %0.0fL no es válida,\nEl nuevo volumen del tanque %0.0fL\n sería mayor que la "
    u"capacidad del tanque de %0.0fL !",
    u"Esta lectura de %0.0fL no es válida\nDebe ser mayor que cero\n y menor que la capacidad del tanque de "
    u"%0.0fL.",
};

constexpr const char16_t* kPortuguese[kIds] = {
    u"Volume",
    u"Valor",
    u"Água ",
    u"Nível ",
    u"Ullage ",
    u"Comb.",
    u"Frentista",
    u"Cliente",
    u"Bico",
    u"Tag",
    u"Fluxo L/m",
    u"Leitura",
    u"Entrega",
    u"Tem certeza de que deseja adicionar uma entrega de %0.0fL ?\nO novo volume do tanque será de %0.0fL",
    u"Tem certeza de que deseja mudar o volume do tanque  para %0.0fL ?",
    u"Essa entrega de %0.0fL está invalida,\nO novo volume do tanque de %0.0fL\n está mais do que a capacidade "
    u"do tanque de %0.0fL.",
    u"Esse leitura de %0.0fL está invalida,\nDeve ser maior que zero\n e menos do que a capacidade do tanque "
    u"de %0.0fL.",
};

// The first user-interface language that the table holds decides; English when none does.
const char16_t* const* PickLanguage() {
    const QStringList languages = QLocale().uiLanguages();
    for (const QString& name : languages) {
        const QString lang = name.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (lang == QLatin1String("en")) return kEnglish;
        if (lang == QLatin1String("es")) return kSpanish;
        if (lang == QLatin1String("pt")) return kPortuguese;
    }
    return kEnglish;
}

}  // namespace

char16_t* StringFromResource(int ResourceID, char16_t* wBuff) {
    wBuff[0] = u'\0';
    if (ResourceID < kFirstId || ResourceID > kLastId) return wBuff;
    const char16_t* text = PickLanguage()[ResourceID - kFirstId];
    int n = 0;
    while (n < kResourceBufferSize - 1 && text[n] != u'\0') {
        wBuff[n] = text[n];
        ++n;
    }
    wBuff[n] = u'\0';
    return wBuff;
}

QString StringFromResource(int ResourceID) {
    char16_t buffer[kResourceBufferSize];
    StringFromResource(ResourceID, buffer);
    return QString::fromUtf16(buffer);
}

}  // namespace Varnel
