// Figures for the devices unit: building a catalog from a large catalog
// document, reloading one model's parameters, and writing the parameters
// document for many templates.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "devices/model_list.h"
#include "devices/parameters_document.h"
#include "foundation/win/com_init.h"
#include "foundation/win/variant.h"

#include "bench_timing.h"

namespace {

using ra03v::bench::BestMs;

std::string MakeCatalog(int models, int parameters) {
  std::string text = "<Система><КлассыОборудования><КлассОборудования Идентификатор=\"Сканер\">";
  char buffer[512];
  for (int m = 0; m < models; ++m) {
    std::snprintf(
        buffer, sizeof buffer,
        "<Модель Код=\"{%08X-0000-0000-0000-000000000000}\" Идентификатор=\"Модель%d\" "
        "Библиотека=\"ra03v.dll\" Наименование=\"Считыватель\" Состояние=\"0\"><Параметры>",
        m + 1, m);
    text.append(buffer);
    for (int p = 0; p < parameters; ++p) {
      std::snprintf(buffer, sizeof buffer,
                    "<Параметр Идентификатор=\"Параметр%d\" Наименование=\"Имя\" Тип=\"Integer\" "
                    "Зна4ениеПоУмол4анию=\"1\" Описание=\"Описание\\nпараметра\" "
                    "ФлагТолько4тение=\"0\"/>",
                    p);
      text.append(buffer);
    }
    text.append("</Параметры></Модель>");
  }
  text.append("</КлассОборудования></КлассыОборудования></Система>");
  return text;
}

}  // namespace

int main() {
  ra03v::ComInit com;  // one apartment for the whole run, as a host thread has
  const std::string catalog = MakeCatalog(200, 30);
  const ra03v::Variant document = ra03v::Variant::From1251(catalog);
  std::unique_ptr<ra03v::TModelList> models;
  const double load = BestMs(5, [&] {
    models = ra03v::CreateModelList(document.Get(), "", "", "RA03V.DLL", "", "", "0");
  });
  std::printf("catalog of 200 models x 30 parameters (%zu KiB): %d models in %.1f ms\n",
              catalog.size() / 1024, models->Count(), load);

  const double reload = BestMs(5, [&] { models->Model(100).LoadChildren(); });
  std::printf("reloading one model's parameters (parses the catalog again): %.1f ms\n", reload);

  ra03v::TPropList templates;
  for (int i = 0; i < 200; ++i) {
    std::string identifier = "Свойство";
    identifier.append(std::to_string(i));
    templates.AddDescriptor(
        {identifier, "", identifier, "Integer", 0, "0", "Первая строка\r\nвторая строка"});
  }
  size_t size = 0;
  const double write = BestMs(5, [&] { size = ra03v::ParametersDocument(templates).size(); });
  std::printf("parameters document for 200 templates (%zu bytes): %.2f ms\n", size, write);
  return 0;
}
