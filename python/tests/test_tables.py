"""Results as tables: the DataFrame's columns and units, CSV that reads back
exactly, and Results joined from chunks."""
import io

import numpy as np
import pytest

import keld

pandas = pytest.importorskip("pandas")


@pytest.fixture(scope="module")
def results(ps_toluene):
    # H and V only (the rest NaN), one state without a root at a low pressure
    return ps_toluene.properties_many(T=[300.0, 350.0, 400.0], P=[1e5, 1e7, 10.0], z={"TOLUENE": [0.9, 0.8, 1.0],
                                      "PS": [0.1, 0.2, 0.0]}, flags={"H": 3, "V": 1, "ln_phi": 1})


EXPECTED_COLUMNS = [
    "T / K", "P / Pa", "z[TOLUENE]", "z[PS]", "ln_phi[TOLUENE]", "ln_phi[PS]",
    "d_ln_phi_dT[TOLUENE] / (1/K)", "d_ln_phi_dT[PS] / (1/K)", "H / (J/kmol)", "S / (J/(kmol K))",
    "G / (J/kmol)", "V / (m3/kmol)", "dH_dT / (J/(kmol K))", "dS_dT / (J/(kmol K2))", "dG_dT / (J/(kmol K))",
    "dV_dT / (m3/(kmol K))", "status",
]


def test_dataframe_columns_units_and_values(results):
    frame = results.to_pandas()
    assert list(frame.columns) == EXPECTED_COLUMNS
    assert frame.attrs == {"model": "pcsaft", "phase": "liquid"}
    assert np.array_equal(frame["V / (m3/kmol)"], results.V)
    assert np.array_equal(frame["dH_dT / (J/(kmol K))"], results.dH_dT)
    assert np.array_equal(frame["ln_phi[PS]"], results.ln_phi[:, 1], equal_nan=True)
    assert np.array_equal(frame["z[PS]"], results.z[:, 1])
    assert frame["S / (J/(kmol K))"].isna().all()  # not asked for
    assert frame["status"].dtype.kind == "i" and list(frame["status"]) == list(results.status)


def test_csv_reads_back_exactly(results, tmp_path):
    text = results.to_csv()
    assert text.splitlines()[0].split(",")[:2] == ['T / K', 'P / Pa']
    back = pandas.read_csv(io.StringIO(text), float_precision="round_trip")
    assert list(back.columns) == EXPECTED_COLUMNS
    frame = results.to_pandas()
    for name in EXPECTED_COLUMNS:
        assert np.array_equal(back[name].to_numpy(float), frame[name].to_numpy(float), equal_nan=True), name
    path = tmp_path / "r.csv"
    assert results.to_csv(path) is None and path.read_text() == text
    buffer = io.StringIO()
    results.to_csv(buffer)
    assert buffer.getvalue() == text


def test_to_pandas_without_pandas_says_what_to_install(results, monkeypatch):
    import builtins
    real_import = builtins.__import__

    def no_pandas(name, *args, **kwargs):
        if name == "pandas":
            raise ImportError("no pandas")
        return real_import(name, *args, **kwargs)

    monkeypatch.setattr(builtins, "__import__", no_pandas)
    with pytest.raises(ImportError, match="python3-pandas"):
        results.to_pandas()
    assert results.to_csv().count("\n") == 4  # CSV needs no pandas


def test_concatenate_joins_chunks_in_order(ps_toluene):
    T = np.linspace(300.0, 400.0, 10)
    whole = ps_toluene.properties_many(T=T, P=1e5, z=[0.9, 0.1])
    parts = [ps_toluene.properties_many(T=T[k:k + 4], P=1e5, z=[0.9, 0.1]) for k in range(0, 10, 4)]
    joined = keld.Results.concatenate(parts)
    assert joined.to_csv() == whole.to_csv() and joined.messages == whole.messages
    with pytest.raises(ValueError, match="different"):
        keld.Results.concatenate([whole, ps_toluene.properties_many(T=T, P=1e5, z=[0.9, 0.1], phase="vapour")])
