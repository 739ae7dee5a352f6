// The CGAL triangulation the oracle tests compare with: Delaunay, exact
// predicates, each vertex carrying the number of the node it stands for.
#pragma once

#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

namespace tervox_test::cgal {

using kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using vertex_base = CGAL::Triangulation_vertex_base_with_info_2<int, kernel>;
using data_structure = CGAL::Triangulation_data_structure_2<vertex_base>;
using delaunay = CGAL::Delaunay_triangulation_2<kernel, data_structure>;
using point = kernel::Point_2;

}  // namespace tervox_test::cgal
