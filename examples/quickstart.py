"""A short tour: build a pipeline over a small labelled corpus, query it and write its sphere page."""
import numpy as np

import vantorel as vt

# A corpus of 600 "sentence embeddings" in 64 dimensions: six topics, each a
# cloud around its own centre, with two topics sharing part of their centre.
rng = np.random.default_rng(2026)
topics = ["astronomy", "biology", "chemistry", "cooking", "gardening", "music"]
centres = rng.normal(size=(len(topics), 64)) * 2.0
centres[4] = 0.6 * centres[4] + 0.4 * centres[1]  # gardening leans towards biology
labels = [topics[i % len(topics)] for i in range(600)]
embeddings = centres[[i % len(topics) for i in range(600)]] + rng.normal(size=(600, 64))

pipeline = vt.Pipeline(labels, embeddings)
print(pipeline, f"projection={pipeline.projection_kind}",
      f"explained variance={pipeline.explained_variance_ratio:.3f}")
for warning in pipeline.projection_warnings():
    print("  warning:", warning.message)

query = centres[1] + rng.normal(size=64) * 0.5  # something about biology
print("\nnearest to a biology-like query:")
for hit in pipeline.nearest(query, k=5):
    print(f"  {hit.id}  {hit.category:<10} {hit.distance:.4f} rad  certainty {hit.certainty:.3f}")

print(f"\nitems within cosine 0.99 of the query: {len(pipeline.similar_above(query, min_cosine=0.99))}")

path = pipeline.concept_path("s-0001", "s-0004", graph_k=15)
if path is None:
    print("\nno concept path from s-0001 to s-0004 at graph_k=15")
else:
    print(f"\nconcept path s-0001 -> s-0004 ({len(path.steps)} steps, {path.total_distance:.3f} rad):")
    print("  " + " -> ".join(f"{s.id}[{s.category}]" for s in path.steps))

print("\nglobs found on the sphere:")
for glob in pipeline.detect_globs(max_k=8):
    tops = ", ".join(f"{name} x{count}" for name, count in glob.top_categories)
    print(f"  glob {glob.id}: {glob.member_count} items, radius {glob.radius:.3f} ({tops})")

manifold = pipeline.local_manifold(query, neighborhood_k=20)
print(f"\nlocal manifold around the query: {manifold}, normal {np.round(manifold.normal, 3).tolist()}")

print("\ncategories:")
summaries, inner = pipeline.category_stats()
for s in summaries:
    print(f"  {s.name:<10} {s.member_count} items, cohesion {s.cohesion:.3f}, bridge quality {s.bridge_quality:.3f}")
for report in inner:
    print(f"  inner sphere for {report.category_name}: {report.projection_type}, evr {report.inner_evr:.3f}")

print("\nneighbours of biology:", [s.name for s in pipeline.category_neighbors("biology", k=3)])
route = pipeline.category_concept_path("astronomy", "cooking")
if route is not None:
    print("category path astronomy -> cooking:", " -> ".join(s.category_name for s in route.steps),
          f"(confidence {route.path_confidence:.3f})")
print("drill-down into gardening:", pipeline.drill_down("gardening", query, k=3))
print("hierarchical nearest:", [h.id for h in pipeline.hierarchical_nearest(query, k=5)])
print("domain groups:", [g.category_names for g in pipeline.domain_groups()])

print("\nfirst lines of the CSV export:")
print("\n".join(pipeline.to_csv().splitlines()[:3]))

report = vt.run_navigator(pipeline, config=vt.NavigatorConfig(curvature_top_n=3))
print(f"\nnavigator: {report.coverage.coverage_fraction:.1%} of the sphere covered by category caps")
for cell in report.voronoi:
    print(f"  {cell.category_name:<10} Voronoi cell {cell.cell_area:.3f} sr, neighbours {cell.voronoi_neighbors}")
print("  most curved triples:", [(t.categories, round(t.excess, 4)) for t in report.top_curvature_triples])

features = vt.corpus_features(labels, embeddings)
print(f"\ncorpus features: {features['n_items']} items, {features['n_categories']} categories, "
      f"intra/inter similarity {features['mean_intra_category_similarity']:.3f}"
      f"/{features['mean_inter_category_similarity']:.3f}")
tuned, tune_report = vt.auto_tune(labels, embeddings, strategy="random", budget=8, seed=7)
print(f"auto_tune: best {tune_report['metric_name']} {tune_report['best_score']:.3f} "
      f"after {tune_report['trials_count']} trials ({tuned.projection_kind})")

# An interactive view of the sphere: open the page in a browser to rotate it,
# hover and click points, toggle categories and search labels.
page = vt.visualize_pipeline(pipeline, output="quickstart_sphere.html", title="vantorel quickstart",
                             open_browser=False)
print(f"\ninteractive sphere page written to {page}")
