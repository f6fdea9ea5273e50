// The vocabulary of result names and units and the models' display names,
// from the same table the keld command prints with (tools/quantity_names.h),
// so that the package's columns and the command's read alike.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>

#include "model_names.h"
#include "quantity_names.h"

namespace py = pybind11;

namespace keld::python {

void bind_vocabulary(py::module_ &m) {
    m.def("vocabulary", [] {
        py::list out;
        for (const keld::cli::Quantity &q : keld::cli::quantities()) {
            py::dict d;
            d["name"] = std::string(q.name);
            d["unit"] = std::string(q.unit);
            d["basis"] = std::string(keld::cli::basis_text(q.basis));
            d["per_component"] = q.per_component;
            d["meaning"] = std::string(q.meaning);
            out.append(d);
        }
        return out;
    });
    m.def("model_display_name", [](const std::string &family) { return keld::cli::model_display_name(family); });
    m.def("readable_message", [](const std::string &line) { return keld::cli::readable_message(line); });
}

}  // namespace keld::python
