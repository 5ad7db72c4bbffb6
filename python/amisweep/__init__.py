"""Sweeps of IBIS-AMI models over their settings and channels, run by the
stand-in simulator on a Dask cluster, gathered into one table."""
__version__ = "1.0.0"
