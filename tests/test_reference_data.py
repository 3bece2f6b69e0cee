"""The reference tables load and hold what they claim to."""

import math

import pytest

from reference import load_reference


def point_magnification(u):
    return (u * u + 2) / (u * math.sqrt(u * u + 4))


@pytest.mark.parametrize("name, width", [
    ("uniform_disc", 4), ("ring", 5), ("limb_darkened", 4), ("far_field", 8)])
def test_table_loads_with_finite_positive_magnifications(name, width):
    rows = load_reference(name)
    assert all(len(row) == width for row in rows)
    assert all(math.isfinite(row[-1]) and row[-1] > 1 for row in rows)


def test_uniform_disc_centred_on_lens_is_exact():
    rows = [row for row in load_reference("uniform_disc") if row[0] == 0]
    assert rows
    for _, re, rstar, truth in rows:
        rho = rstar / re
        assert truth == pytest.approx(math.sqrt(rho * rho + 4) / rho, rel=1e-15)


def test_degenerate_rings_are_point_magnifications():
    rows = [row for row in load_reference("ring") if row[0] == 0 or row[1] == 0]
    assert rows
    for l, r, re, rstar, truth in rows:
        expected = point_magnification((l + r) * rstar / re)
        assert truth == pytest.approx(expected, rel=1e-15)


@pytest.mark.parametrize("name", ["uniform_disc", "limb_darkened"])
def test_discs_dim_away_from_the_lens(name):
    by_size = {}
    for l, re, rstar, truth in load_reference(name):
        by_size.setdefault((re, rstar), []).append((l, truth))
    for cases in by_size.values():
        cases.sort()
        for (l1, a), (l2, b) in zip(cases, cases[1:]):
            # Moving the lens 1e-6 source radii off the centre of a source of
            # 100 Einstein radii dims it by less than 17 digits resolve.
            assert a > b or (a == b and l2 - l1 <= 1e-6)


@pytest.mark.parametrize("rstar, l, value", [
    (0.1, 0.5, 19.679003), (0.1, 1.0, 12.298533), (0.1, 2.0, 5.231521),
    (0.1, 10.0, 1.342933), (1.0, 0.5, 2.227093), (1.0, 2.0, 1.074914)])
def test_limb_darkened_matches_seven_digit_values(rstar, l, value):
    truths = {(row[0], row[2]): row[3] for row in load_reference("limb_darkened")}
    assert truths[(l, rstar)] == pytest.approx(value, abs=5e-7)


def test_loader_rejects_ragged_table(tmp_path, monkeypatch):
    import reference
    (tmp_path / "ragged.txt").write_text("# c\n1 2 3\n1 2\n")
    monkeypatch.setattr(reference, "DATA_DIR", str(tmp_path))
    with pytest.raises(ValueError, match="ragged.txt:3"):
        reference.load_reference("ragged")


def test_far_field_truths_fall_towards_the_point_source():
    # Per source size, every column falls with the separation, and a disc
    # limb-darkened towards its rim is magnified less than the uniform disc,
    # which is magnified less than its own rim.
    rows = load_reference("far_field")
    for rstar in {row[2] for row in rows}:
        by_l = sorted(row for row in rows if row[2] == rstar)
        for column in range(3, 8):
            values = [row[column] for row in by_l]
            assert all(a >= b for a, b in zip(values, values[1:]))
        for _, _, _, disc, rim, limb, _, _ in by_l:
            assert limb <= disc <= rim


@pytest.mark.parametrize("table, law, coefficients", [
    ("uniform_disc", "uniform", []), ("limb_darkened", "linear", [0.6])])
def test_laws_agree_with_the_disc_sweeps_where_the_tables_meet(table, law, coefficients):
    # Integrals over the source radius against lens-centred sweeps over the
    # disc, at the sources and separations both tables hold (the sweeps'
    # linear law has the decimal 0.6, the laws' table the double).
    sweeps = {row[:3]: row[3] for row in load_reference(table)}
    met = [(row[-1], sweeps[row[:3]]) for row in load_reference("limb_darkening_laws")
           if row[3] == law and [c for c in row[4:8] if c != "-"] == coefficients
           and row[:3] in sweeps]
    assert len(met) >= 9
    for by_radius, by_sweep in met:
        assert by_radius == pytest.approx(by_sweep, rel=1e-15, abs=0)
