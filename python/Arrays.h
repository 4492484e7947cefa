#pragma once
// numpy arrays made from the library's vectors without a copy.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <vector>

namespace vrml::python {

namespace py = pybind11;

// A numpy array that takes over `values` (no copy): the vector lives in a
// capsule that the array keeps, so no view can outlive its data.
template <class T>
py::array_t<T> TakeArray(std::vector<T>&& values, size_t columns) {
    auto* owned = new std::vector<T>(std::move(values));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    const auto rows = static_cast<py::ssize_t>(columns > 0 ? owned->size() / columns : 0);
    if (columns == 1)
        return py::array_t<T>({rows}, owned->data(), owner);
    return py::array_t<T>({rows, static_cast<py::ssize_t>(columns)}, owned->data(), owner);
}

} // namespace vrml::python
